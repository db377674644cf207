#pragma once

#include <memory>

#include "platform/RegistryHive.h"

namespace tessaly {

// Sets the component folder to the folder of the component's registered file: the default value of the
// component-file key under HKEY_CLASSES_ROOT (written by `tessaly-reg register-component`). The file is
// looked for first by its bare name in the current folder (the folder is then empty), then in its
// registered folder. A missing key, an empty value or a file not found leaves the folder unchanged. Registry
// failures (such as a value that is not a string) are raised.
void LocateComponentFolder(std::shared_ptr<RegistryHive> hive);

}  // namespace tessaly
