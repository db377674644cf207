#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace tessaly::test {

// Sets an environment variable (or removes it, for a null value) for the life of the object, then puts
// back what was there.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnvironment() { Set(old_ ? old_->c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  void Set(const char* value) const {
#ifdef _WIN32
    // An empty value removes the variable on Windows.
    _putenv_s(name_.c_str(), value != nullptr ? value : "");
#else
    value != nullptr ? ::setenv(name_.c_str(), value, 1) : ::unsetenv(name_.c_str());
#endif
  }

  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace tessaly::test
