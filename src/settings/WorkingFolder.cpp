#include "settings/WorkingFolder.h"

#include <filesystem>
#include <system_error>

#include "platform/ErrorBox.h"
#include "platform/TessalyError.h"

namespace tessaly {

void CreateFolder(const std::string& folder) {
  const std::filesystem::path path(folder);
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) return;
  std::filesystem::create_directory(path, ignored);
  if (!std::filesystem::is_directory(path, ignored)) throw ETessalyError("Cannot create " + folder);
}

void ReportWorkingFolderFailure(const std::exception& error) {
  ShowErrorBox(std::string("TessalyError Message :\r\n\r\n") + error.what() + "\r\n");
}

}  // namespace tessaly
