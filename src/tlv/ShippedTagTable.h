#pragma once

#include <span>

#include "platform/EmbeddedFile.h"

namespace tessaly {

// tlv/tags/tag-names.txt as it was when the program was built.
std::span<const EmbeddedFile> ShippedTagTableFiles();

}  // namespace tessaly
