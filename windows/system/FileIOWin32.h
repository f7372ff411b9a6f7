// What the file primitives decide on Windows alone, for tests.
#pragma once

#include <windows.h>

#include <string>

namespace korvel::fileio {

// Whether a file with these attributes and reparse tag stands for another
// name (a symbolic link, a junction): refused where a store or lock file is
// expected. Other reparse points are files with extra data, among them the
// placeholders of OneDrive and other cloud folders, and are used as files.
bool IsLinkLike(DWORD attributes, DWORD reparseTag);

// Whether a new file at the path keeps the rights it inherits from its
// folder instead of being made for the current user alone: on a share or a
// network drive, whose server may know nothing of this computer's accounts.
bool KeepsFolderRights(const std::string& path);

}  // namespace korvel::fileio
