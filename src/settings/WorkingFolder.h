#pragma once

#include <exception>
#include <string>

namespace tessaly {

// Creates the folder, one level only (the parent must exist); raises ETessalyError "Cannot create " and the
// folder when there is no folder there afterwards.
void CreateFolder(const std::string& folder);

// Whether the folder can serve as a working folder: an existing folder in which folders can be made, or a
// missing one that can be made in its parent. Asked of the file system itself, by making and removing a
// folder of a random name, so that permission bits, access lists and read-only mounts all count.
bool CanUseAsWorkFolder(const std::string& folder, const std::string& parent);

// "orvane" in the user's data folder; empty when the environment names no data folder.
std::string UserWorkFolderParent();

// Shows a failure of the working folders in the store's error box: "TessalyError Message :", two line
// breaks, the message and one more line break.
void ReportWorkingFolderFailure(const std::exception& error);

}  // namespace tessaly
