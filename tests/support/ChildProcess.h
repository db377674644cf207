#pragma once

#include <sys/types.h>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::test {

// A program run by a test with pipes on its standard input and output. It dies with the test process,
// and the destructor ends it (SIGTERM, then SIGKILL) and waits for it.
class ChildProcess {
 public:
  // Extra environment entries are "NAME=value"; the test's own environment is inherited.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Id() const { return pid_; }
  void WriteLine(const std::string& line);
  // The next line of its standard output, or nothing when none came within the time or the output ended.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  // Waits for the next line equal to expected, skipping others.
  bool WaitForLine(const std::string& expected, std::chrono::milliseconds timeout);
  void Signal(int signal);
  // Its exit code, or -1 when a signal ended it.
  int Wait();
  // As Wait, or nothing when it still runs after timeout.
  std::optional<int> WaitFor(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffered_;
  std::optional<int> exitCode_;
};

}  // namespace tessaly::test
