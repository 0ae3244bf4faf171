// Replacing a file with a new version of it on Windows: the new version is written in a folder
// beside the file that only this user (and the system) may enter, and ReplaceFileW puts it in the
// file's place keeping the file's attributes, owner, access control list and streams.  The file
// it replaces goes to a backup name in that folder first, and comes back to its own name when the
// replacement fails half-way; the folder is never removed while it holds the only copy.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>

#include "platform/files.h"

namespace kovrisk::win32 {

// ReplaceFileW's shape, for putting the failures it documents in its place.
using ReplaceFileCall = BOOL(WINAPI*)(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup,
                                      DWORD flags, LPVOID exclude, LPVOID reserved);

// CreateDirectoryW's shape, for a folder that refuses the private folder's access list.
using CreateFolderCall = BOOL(WINAPI*)(LPCWSTR folder, LPSECURITY_ATTRIBUTES security);

// The new version's path is never longer than the file's own followed by `suffix` (the private
// folder's name and the name inside it are kept short), so that every path Excel takes with the
// suffix still takes the new version.  Where the folder takes folders but not the private one's
// protected access list (a network share), the new version is written beside the file under a
// name nobody can foresee.
std::unique_ptr<FileReplacement> beginFileReplacement(
    const NativePath& target, std::string_view suffix, ReplacementRefusal& refusal,
    ReplaceFileCall replace = &::ReplaceFileW, CreateFolderCall createFolder = &::CreateDirectoryW);

}  // namespace kovrisk::win32
