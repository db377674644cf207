#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace tessaly::test {
namespace {

void Check(int result, const char* call) {
  if (result < 0) throw std::runtime_error(std::string(call) + " failed: " + std::strerror(errno));
}

// The test's environment with the given entries replacing those of the same name.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& entries) {
  std::vector<std::string> merged(entries);
  for (char** inherited = environ; *inherited; ++inherited) {
    const std::string entry = *inherited;
    const auto name = entry.substr(0, entry.find('=') + 1);
    const bool replaced = std::any_of(entries.begin(), entries.end(),
                                      [&](const std::string& given) { return given.starts_with(name); });
    if (!replaced) merged.push_back(entry);
  }
  return merged;
}

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const auto& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Only async-signal-safe calls between fork and exec: everything else is prepared before the fork.
[[noreturn]] void BecomeProgram(char** argv, char** envp, int input, int output) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  ::dup2(input, STDIN_FILENO);
  ::dup2(output, STDOUT_FILENO);
  ::execvpe(argv[0], argv, envp);
  ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment) {
  int toChild[2];
  int fromChild[2];
  Check(::pipe2(toChild, O_CLOEXEC), "pipe2");
  Check(::pipe2(fromChild, O_CLOEXEC), "pipe2");
  std::vector<std::string> commandLine{program};
  commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
  const auto merged = MergedEnvironment(environment);
  auto argv = Pointers(commandLine);
  auto envp = Pointers(merged);
  pid_ = ::fork();
  if (pid_ == 0) BecomeProgram(argv.data(), envp.data(), toChild[0], fromChild[1]);
  ::close(toChild[0]);
  ::close(fromChild[1]);
  input_ = toChild[1];
  output_ = fromChild[0];
  Check(pid_, "fork");
}

ChildProcess::~ChildProcess() {
  ::close(input_);
  ::close(output_);
  if (exitCode_ || pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 200 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
}

void ChildProcess::WriteLine(const std::string& line) {
  const std::string text = line + "\n";
  Check(static_cast<int>(::write(input_, text.data(), text.size())), "write");
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const auto end = buffered_.find('\n'); end != std::string::npos) {
      std::string line = buffered_.substr(0, end);
      buffered_.erase(0, end + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd watched{output_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&watched, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
    char chunk[256];
    const auto count = ::read(output_, chunk, sizeof chunk);
    if (count <= 0) return std::nullopt;
    buffered_.append(chunk, static_cast<std::size_t>(count));
  }
}

bool ChildProcess::WaitForLine(const std::string& expected, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const auto line = ReadLine(std::max(left, std::chrono::milliseconds(0)));
    if (!line) return false;
    if (*line == expected) return true;
  }
}

void ChildProcess::Signal(int signal) {
  if (!exitCode_) Check(::kill(pid_, signal), "kill");
}

std::optional<int> ChildProcess::WaitFor(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!exitCode_) {
    int status = 0;
    const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
    Check(ended, "waitpid");
    if (ended == pid_) {
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } else if (std::chrono::steady_clock::now() >= deadline) {
      return std::nullopt;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  return exitCode_;
}

int ChildProcess::Wait() {
  if (!exitCode_) {
    int status = 0;
    Check(::waitpid(pid_, &status, 0), "waitpid");
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return *exitCode_;
}

}  // namespace tessaly::test
