#pragma once

namespace tessaly {

// The key below HKEY_CLASSES_ROOT whose default value holds the absolute path of the component's file (the
// file that holds the kernel), where an in-process component registers it. `tessaly-reg
// register-component` writes it; the kernel reads it at start-up to find the component folder.
inline constexpr const char* kComponentFileKey =
    "CLSID\\{F9D85E47-FA7E-4ED1-8174-2A42ACFF253A}\\InprocServer32";

}  // namespace tessaly
