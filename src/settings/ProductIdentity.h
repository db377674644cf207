#pragma once

#include <string>

namespace tessaly {

// The texts the program uses as its own name and version.
struct TProductIdentity {
  std::string ProductName;
  std::string VersionText;
  std::string MajorVersion;
  std::string MinorVersion;
};

// Process-wide; all texts are empty until set.
const TProductIdentity& ProductIdentity();
void SetProductIdentity(TProductIdentity identity);
// Sets the identity of this program from platform/ProductInfo.h ("Tessaly Easy", "v1.3", "1", "3"); the
// kernel calls it once, at the end of its construction.
void SetFixedProductIdentity();

// The folder of the component's registered file, with its trailing separator; empty until set, and empty
// when the file was not found.
const std::string& ComponentFolder();
void SetComponentFolder(std::string folder);

}  // namespace tessaly
