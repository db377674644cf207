#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tessaly::test {

// A file's whole content, byte for byte; empty when it cannot be read.
inline std::string FileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The text as one word of a POSIX shell's command line, whatever it holds.
inline std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace tessaly::test
