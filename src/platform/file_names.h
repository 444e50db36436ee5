#pragma once

#include <string>

// Making folders and giving files their names. Paths are UTF-8. Each returns
// 0, or the errno of the failure, unless it says otherwise.
namespace orvana::platform {

// `folder` and any missing parents, with the permission bits `mode` where
// the platform has them. A failure is that of the part that could not be
// made: a file where a folder should be is ENOTDIR.
int MakeFolders(const std::string& folder, unsigned mode);

// Gives `from` the name `to` in one step, replacing a file there: a reader
// finds either the old file or the new one, whole, even after a crash.
int RenameOver(const std::string& from, const std::string& to);

int RemoveFile(const std::string& path);

// Why RenameOver(from, `to`) failed with `error`, in words for a person: the
// system's words for the error, or, where the platform can tell, what stood
// in the way (Windows replaces no file that another program holds open).
std::string RenameFailure(const std::string& to, int error);

}  // namespace orvana::platform
