#include "RegisteredComponent.h"

#include <fstream>
#include <stdexcept>

#include "platform/ComponentRegistration.h"
#include "platform/Registry.h"

namespace tessaly::test {

void RegisterComponentFile(const std::shared_ptr<RegistryHive>& hive, const std::string& file) {
  TRegistry registry(hive);
  registry.SetRootKey(RootKey::ClassesRoot);
  if (!registry.OpenKey(kComponentFileKey, true)) throw std::runtime_error("cannot create the component key");
  registry.WriteString("", file);
}

TempComponent::TempComponent(const std::shared_ptr<RegistryHive>& hive)
    : file_(folder_ / "tessaly-easy.component") {
  std::ofstream(file_) << "component";
  RegisterComponentFile(hive, file_.string());
}

}  // namespace tessaly::test
