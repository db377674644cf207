#include <filesystem>

#include "TempHive.h"
#include "platform/RegistryHive.h"

namespace tessaly::test {
namespace {

// Nested TempHives share the one registry; only the outermost clears it.
int& Depth() {
  static int depth = 0;
  return depth;
}

// On Windows the hive is the registry itself, so a test's clean hive is a registry without the keys this
// system and its tests write. Run these tests only on a registry of their own (the Wine prefix of the
// Windows test build), never on a machine whose settings matter.
void ClearRegistry() {
  const auto hive = OpenProcessHive();
  hive->DeleteKeyTree(RootKey::LocalMachine, "SOFTWARE\\Orvane");
  hive->DeleteKeyTree(RootKey::CurrentUser, "Software\\Tessaly Tests");
}

}  // namespace

TempHive::TempHive() : file_(folder_ / "registry.db") {
  if (Depth()++ == 0) ClearRegistry();
}

TempHive::~TempHive() {
  if (--Depth() == 0) ClearRegistry();
}

}  // namespace tessaly::test
