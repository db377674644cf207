#pragma once

#include <span>
#include <string_view>

namespace tessaly {

// A file built into the program: its name and its bytes.
struct EmbeddedFile {
  std::string_view FileName;
  std::string_view Text;
};

// The command and status-word template files that the two default card types name ("ISO-7816-4.cct",
// "ISO-7816-4.swt", "GSM-11.11.cct", "GSM-11.11.swt"), as they were when the program was built. Their
// sources are in settings/templates/.
std::span<const EmbeddedFile> ShippedTemplates();

}  // namespace tessaly
