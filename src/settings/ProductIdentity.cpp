#include "settings/ProductIdentity.h"

#include <utility>

#include "platform/ProductInfo.h"

namespace tessaly {
namespace {

TProductIdentity& Identity() {
  static TProductIdentity identity;
  return identity;
}

std::string& Folder() {
  static std::string folder;
  return folder;
}

}  // namespace

const TProductIdentity& ProductIdentity() {
  return Identity();
}

void SetProductIdentity(TProductIdentity identity) {
  Identity() = std::move(identity);
}

void SetFixedProductIdentity() {
  SetProductIdentity({kProductName, std::string("v") + kProductVersion, std::to_string(kProductVersionMajor),
                      std::to_string(kProductVersionMinor)});
}

const std::string& ComponentFolder() {
  return Folder();
}

void SetComponentFolder(std::string folder) {
  Folder() = std::move(folder);
}

}  // namespace tessaly
