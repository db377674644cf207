#pragma once

namespace tessaly {

// Sets the component folder to the folder of the component's registered file: the default value of the
// component-file key under HKEY_CLASSES_ROOT (written by `tessaly-reg register-component`). The file is
// looked for first by its bare name in the current folder (the folder is then empty), then in its
// registered folder. A missing key, an empty value or a file not found leaves the folder unchanged. Registry
// failures (the hive cannot be opened, the value is not a string) are raised.
void LocateComponentFolder();

}  // namespace tessaly
