#include "RedirectedHive.h"

#include <utility>

namespace tessaly::test {

RedirectedHive::RedirectedHive(std::shared_ptr<RegistryHive> inner, RootKey root, RootKey scratchRoot,
                               std::string scratchPath)
    : inner_(std::move(inner)), root_(root), scratchRoot_(scratchRoot), scratchPath_(std::move(scratchPath)) {
  DeleteScratch();  // left over by an aborted run
  inner_->OpenKey(scratchRoot_, scratchPath_, true);
}

std::string RedirectedHive::ScratchPathOf(const std::string& path) const {
  return path.empty() ? scratchPath_ : scratchPath_ + "\\" + path;
}

std::unique_ptr<HiveKey> RedirectedHive::OpenKey(RootKey root, const std::string& path, bool create) {
  if (root != root_) return inner_->OpenKey(root, path, create);
  return inner_->OpenKey(scratchRoot_, ScratchPathOf(path), create);
}

bool RedirectedHive::DeleteKeyTree(RootKey root, const std::string& path) {
  if (root != root_) return inner_->DeleteKeyTree(root, path);
  // The root key itself cannot be deleted.
  return !path.empty() && inner_->DeleteKeyTree(scratchRoot_, ScratchPathOf(path));
}

std::vector<SubkeyValueNames> RedirectedHive::ValueNamesBelowSubkeys(RootKey root, const std::string& path,
                                                                     const std::string& child) {
  if (root != root_) return inner_->ValueNamesBelowSubkeys(root, path, child);
  return inner_->ValueNamesBelowSubkeys(scratchRoot_, ScratchPathOf(path), child);
}

void RedirectedHive::DeleteScratch() {
  inner_->DeleteKeyTree(scratchRoot_, scratchPath_);
}

}  // namespace tessaly::test
