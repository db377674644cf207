#include "settings/ProductIdentity.h"

#include <utility>

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
  SetProductIdentity({"Tessaly Easy", "v1.3", "1", "3"});
}

const std::string& ComponentFolder() {
  return Folder();
}

void SetComponentFolder(std::string folder) {
  Folder() = std::move(folder);
}

}  // namespace tessaly
