#include "platform/native_files.h"

#include <windows.h>

#include <sddl.h>

#include <algorithm>

#include "platform/win32/unique_handle.h"
#include "platform/win32/unique_local_memory.h"
#include "platform/win32/win32_file_replacement.h"

namespace kovrisk {

namespace {

// The program's folders (the data folder and what lies below it) are shared by every user of the
// computer: each may write the log and replace a backup copy another user made.  Every local user
// may read, write and delete in them, and what is made inside inherits that; the system and the
// administrators have full control.
constexpr wchar_t kSharedFolderSddl[] = L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)";

}  // namespace

std::optional<FileAttributes> NativeFiles::attributes(const NativePath& path) {
    const DWORD word = ::GetFileAttributesW(path.c_str());
    if (word == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return FileAttributes{word};
}

bool NativeFiles::setAttributes(const NativePath& path, FileAttributes attributes) {
    // An empty word means "no attribute", which Windows spells FILE_ATTRIBUTE_NORMAL.
    const DWORD word = attributes.word == 0 ? FILE_ATTRIBUTE_NORMAL : attributes.word;
    return ::SetFileAttributesW(path.c_str(), word) != 0;
}

bool NativeFiles::isReadOnly(FileAttributes attributes) const {
    return (attributes.word & FILE_ATTRIBUTE_READONLY) != 0;
}

FileAttributes NativeFiles::withoutReadOnly(FileAttributes attributes) const {
    return FileAttributes{attributes.word & ~static_cast<std::uint32_t>(FILE_ATTRIBUTE_READONLY)};
}

bool NativeFiles::fileExists(const NativePath& path) {
    const std::optional<FileAttributes> found = attributes(path);
    return found && (found->word & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool NativeFiles::isDirectory(const NativePath& path) {
    const std::optional<FileAttributes> found = attributes(path);
    return found && (found->word & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Every folder made here is shared by the computer's users (kSharedFolderSddl).
bool NativeFiles::createDirectories(const NativePath& path) {
    NativePath folder = path;
    // "C:\a\b\" names the folder "C:\a\b".
    if (folder.has_relative_path() && !folder.has_filename())
        folder = folder.parent_path();
    if (folder.empty())
        return false;
    if (isDirectory(folder))
        return true;
    const NativePath parent = folder.parent_path();
    if (!parent.empty() && parent != folder && !createDirectories(parent))
        return false;
    UniqueLocalMemory shared;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kSharedFolderSddl, SDDL_REVISION_1,
                                                               shared.put(), nullptr) == 0) {
        return false;
    }
    SECURITY_ATTRIBUTES security{sizeof security, shared.get(), FALSE};
    if (::CreateDirectoryW(folder.c_str(), &security) == 0 &&
        ::GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    return isDirectory(folder);
}

bool NativeFiles::remove(const NativePath& path) {
    return ::DeleteFileW(path.c_str()) != 0;
}

bool NativeFiles::copy(const NativePath& from, const NativePath& to) {
    // A new file only: whatever is at `to` already makes the copy fail.
    return ::CopyFileW(from.c_str(), to.c_str(), TRUE) != 0;
}

std::optional<std::string> NativeFiles::readAll(const NativePath& path) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || ::GetFileType(file.get()) != FILE_TYPE_DISK ||
        ::GetFileSizeEx(file.get(), &size) == 0) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    char buffer[1 << 16];
    for (;;) {
        DWORD got = 0;
        if (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) == 0)
            return std::nullopt;
        if (got == 0)
            return bytes;
        bytes.append(buffer, got);
    }
}

bool NativeFiles::writeNew(const NativePath& path, std::string_view bytes) {
    // CREATE_NEW fails on anything at the path, a link among them.
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    bool written = true;
    while (written && !bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD done = 0;
        written = ::WriteFile(file.get(), bytes.data(), chunk, &done, nullptr) != 0 && done != 0;
        bytes.remove_prefix(done);
    }
    if (written && ::FlushFileBuffers(file.get()) != 0 && file.reset())
        return true;
    file.reset();
    ::DeleteFileW(path.c_str());
    return false;
}

NativePath NativeFiles::settledPath(const NativePath& path) {
    const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD written = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (written == 0 || written >= size)
        return path;
    full.resize(written);
    return full;
}

std::optional<FileIdentity> NativeFiles::identity(const NativePath& path) {
    // A reparse point (a symbolic link, a junction) at the path is taken as the file there: one
    // put in a workbook's place is another file, never the one it points to.  Only the
    // attributes are read, sharing everything, so no holder of the file is disturbed.
    const UniqueHandle file(::CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
        nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || ::GetFileInformationByHandle(file.get(), &info) == 0)
        return std::nullopt;
    return FileIdentity{
        info.dwVolumeSerialNumber,
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
        info.nNumberOfLinks};
}

ReplacementRefusal NativeFiles::replacementRefusal(const NativePath& target) {
    // ReplaceFileW keeps the owner and the access control list of the file it replaces.
    const DWORD word = ::GetFileAttributesW(target.c_str());
    if (word != INVALID_FILE_ATTRIBUTES &&
        (word & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return ReplacementRefusal::NotARegularFile;
    }
    // A folder that refuses the private folder (a share that takes no protected access list) is
    // found before anything changes: one is made, and goes again.
    ReplacementRefusal refusal = ReplacementRefusal::None;
    win32::beginFileReplacement(target, {}, refusal);
    return refusal;
}

std::unique_ptr<FileReplacement> NativeFiles::beginReplacement(const NativePath& target,
                                                               std::string_view suffix,
                                                               ReplacementRefusal& refusal) {
    return win32::beginFileReplacement(target, suffix, refusal);
}

bool NativeFiles::heldOpenElsewhere(const NativePath& path) {
    // Opened sharing nothing: fails while any other handle to the file is open (Excel keeps the
    // workbooks it has open open).  A link is not followed to another file.
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return !file && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

AppendResult NativeFiles::appendExclusive(const NativePath& path, std::string_view bytes) {
    // No sharing: while one process writes its line, every other open of the file fails.
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return ::GetLastError() == ERROR_SHARING_VIOLATION ? AppendResult::Busy
                                                           : AppendResult::Failed;
    }
    LARGE_INTEGER origin{};
    if (::SetFilePointerEx(file.get(), origin, nullptr, FILE_END) == 0)
        return AppendResult::Failed;
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (::WriteFile(file.get(), bytes.data(), chunk, &written, nullptr) == 0 || written == 0) {
            return AppendResult::Failed;
        }
        bytes.remove_prefix(written);
    }
    return file.reset() ? AppendResult::Written : AppendResult::Failed;
}

}  // namespace kovrisk
