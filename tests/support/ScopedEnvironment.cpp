#include "ScopedEnvironment.h"

#include <cstdlib>

namespace tessaly::test {
namespace {

// Windows' C runtime removes a variable that is given an empty value.
void SetVariable(const std::string& name, const char* value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value != nullptr ? value : "");
#else
  value != nullptr ? setenv(name.c_str(), value, 1) : unsetenv(name.c_str());
#endif
}

}  // namespace

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
  if (const char* previous = std::getenv(name)) previous_ = previous;
  SetVariable(name_, value);
}

ScopedEnvironment::~ScopedEnvironment() {
  SetVariable(name_, previous_ ? previous_->c_str() : nullptr);
}

}  // namespace tessaly::test
