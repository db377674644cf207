#include "kernel/KernelObject.h"

#include <exception>

#include "kernel/LocateComponentFolder.h"
#include "platform/TessalyError.h"
#include "settings/ProductIdentity.h"
#include "settings/_RegistryWorks.h"

namespace tessaly {

std::unique_ptr<TKernelObject> Kernel;

TKernelObject::TKernelObject(std::uint32_t ownerHandle, const THiveOpener& openHive)
    : OwnerHandle(ownerHandle) {
  try {
    const std::shared_ptr<RegistryHive> hive = openHive();
    LocateComponentFolder(hive);
    Settings = std::make_unique<TRegistrySettings>(OwnerHandle, hive);
    CompleteConstruction();
  } catch (const std::exception& failure) {
    constructionFailure_ = failure.what();
  }
  SetFixedProductIdentity();
}

// Releasing the store only closes its current key: it writes no value and raises no event.
TKernelObject::~TKernelObject() = default;

void TKernelObject::Start() {
  if (!Settings) {
    std::string message = "The settings could not be opened";
    if (!constructionFailure_.empty()) message += ": " + constructionFailure_;
    throw ETessalyError(message);
  }
  Settings->SynchroniseSettings();
  Settings->InstallShippedTemplates();
}

}  // namespace tessaly
