#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace tessaly {

// The session's exchanges written to a file as they happen, so that a session cut off keeps what it did.
class TranscriptFile {
 public:
  // Empties the file; ETessalyError when it cannot be written.
  explicit TranscriptFile(std::filesystem::path file);

  // Appends the text and flushes it. The first write that fails is shown in an error box, and the file
  // is written no further.
  void Write(const std::string& text);

 private:
  std::filesystem::path file_;
  std::ofstream out_;
  bool failed_ = false;
};

}  // namespace tessaly
