#pragma once

#include <optional>
#include <string>

namespace tessaly::test {

// The variable that names the user's data folder on this platform.
#ifdef _WIN32
inline constexpr char kUserDataFolderVariable[] = "LOCALAPPDATA";
#else
inline constexpr char kUserDataFolderVariable[] = "XDG_DATA_HOME";
#endif

// Sets an environment variable for its lifetime (unsets it when value is null), then restores it.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace tessaly::test
