#include "RegisteredComponent.h"

#include <fstream>
#include <stdexcept>

#include "platform/ComponentRegistration.h"
#include "platform/Registry.h"

namespace tessaly::test {

void RegisterComponentFile(const std::string& file) {
  TRegistry registry;
  registry.SetRootKey(RootKey::ClassesRoot);
  if (!registry.OpenKey(kComponentFileKey, true)) throw std::runtime_error("cannot create the component key");
  registry.WriteString("", file);
}

TempComponent::TempComponent() : file_(folder_ / "tessaly-easy.component") {
  std::ofstream(file_) << "component";
  RegisterComponentFile(file_.string());
}

}  // namespace tessaly::test
