#pragma once

#include <exception>
#include <string>

namespace tessaly {

// Creates the folder, one level only (the parent must exist); raises ETessalyError "Cannot create " and the
// folder when there is no folder there afterwards.
void CreateFolder(const std::string& folder);

// Shows a failure of the working folders in the store's error box: "TessalyError Message :", two line
// breaks, the message and one more line break.
void ReportWorkingFolderFailure(const std::exception& error);

}  // namespace tessaly
