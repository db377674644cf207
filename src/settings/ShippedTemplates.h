#pragma once

#include <span>

#include "platform/EmbeddedFile.h"

namespace tessaly {

// The command and status-word template files that the two default card types name ("ISO-7816-4.cct",
// "ISO-7816-4.swt", "GSM-11.11.cct", "GSM-11.11.swt"), as they were when the program was built. Their
// sources are in settings/templates/.
std::span<const EmbeddedFile> ShippedTemplates();

}  // namespace tessaly
