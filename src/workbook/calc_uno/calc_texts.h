// The backend's own error texts, in Shift-JIS.  (LibreOffice's own messages pass through as they
// are; these cover what the backend itself refuses.)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/posix/owned_folder.h"

namespace kovrisk::calc_texts {

std::string officeMissing(const NativePath& program);
// `words`: the office's own last output (UTF-8), told after the exit code when there is any.
std::string officeNotStarted(const NativePath& program, int status, std::string_view words);
std::string officeNoAnswer(const NativePath& program);
std::string processFailed(std::string_view reason);
std::string profileFolderFailed(const NativePath& folder, std::string_view reason);
std::string profileFolderRefused(const NativePath& folder, FolderFault fault);
std::string noProfileFolder();
std::string profilesBusy(const NativePath& folder);
std::string notLoaded(const NativePath& file);
std::string notSaved(const NativePath& file);
std::string notEncrypted(const NativePath& file, std::string_view reason);
std::string notASpreadsheet(const NativePath& file);
std::string tooLarge(const NativePath& file, std::uintmax_t size);
std::string officeTookTooLong(const NativePath& file);
// Something that is no regular file was put at the office's lock file's place for `file`, or at
// `file`, while the office opened it.
std::string plantedFile(const NativePath& file);
std::string noPasswordFormat(const NativePath& file);
std::string applicationEnded();
std::string workbookClosed();
std::string badColorIndex(int index);
std::string foreignWorksheet();

}  // namespace kovrisk::calc_texts
