// Installing the template files the default card types name into the working folder.

#include <exception>
#include <optional>

#include "platform/TextFile.h"
#include "settings/RegistryLayout.h"
#include "settings/ShippedTemplates.h"
#include "settings/WorkingFolder.h"
#include "settings/_RegistryWorks.h"

namespace tessaly {

using namespace registry_layout;

void TRegistrySettings::InstallShippedTemplates() {
  try {
    // Read without storing a default, so that settings of a newer version stay untouched.
    const std::optional<std::string> workDir = ReadPreferenceString(kWorkDir);
    if (!workDir) return;
    const std::string folder = *workDir + kSeparator + kTemplatesFolder;
    CreateFolder(folder);
    for (const EmbeddedFile& file : ShippedTemplates()) {
      WriteNewTextFile(folder + kSeparator + std::string(file.FileName), file.Text);
    }
  } catch (const std::exception& error) {
    // The program runs on without the files: every card then gets empty tables.
    ReportWorkingFolderFailure(error);
  }
}

}  // namespace tessaly
