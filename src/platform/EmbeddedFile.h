#pragma once

#include <string_view>

namespace tessaly {

// A file built into the program by cmake/EmbedFiles.cmake: its name and its bytes.
struct EmbeddedFile {
  std::string_view FileName;
  std::string_view Text;
};

}  // namespace tessaly
