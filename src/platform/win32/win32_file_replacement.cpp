#include "platform/win32/win32_file_replacement.h"

#include <windows.h>

#include <aclapi.h>
#include <bcrypt.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include "platform/win32/unique_handle.h"
#include "platform/win32/unique_local_memory.h"

namespace kovrisk::win32 {

namespace {

// The current user's SID as text, empty when it cannot be read.
std::wstring currentUserSid() {
    HANDLE raw = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw) == 0)
        return {};
    UniqueHandle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 ||
        ::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size) == 0) {
        return {};
    }
    UniqueLocalMemory text;
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    if (::ConvertSidToStringSidW(user->User.Sid, reinterpret_cast<LPWSTR*>(text.put())) == 0)
        return {};
    return static_cast<const wchar_t*>(text.get());
}

// `length` letters and digits that nobody can foresee; empty when the system has no randomness.
std::wstring unforeseeableName(std::size_t length) {
    static constexpr wchar_t kAlphabet[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
    std::vector<unsigned char> bytes(length);
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        return {};
    }
    std::wstring name;
    for (const unsigned char byte : bytes)
        name += kAlphabet[byte % (sizeof kAlphabet / sizeof kAlphabet[0] - 1)];
    return name;
}

// The private folder's name: "~" and random letters, as many as the file's name leaves room for.
// With the name inside it ("~" and the suffix), the new version's path is then no longer than the
// file's own path followed by the suffix (a workbook's name has at least four characters, ".xls").
constexpr std::size_t kShortestFolderName = 2;
constexpr std::size_t kLongestFolderName = 12;
static_assert(kLongestFolderName <= kLongestPrivateFolderName);

std::size_t folderNameLength(const NativePath& target) {
    const std::size_t name = target.filename().native().size();
    return std::clamp(name < 2 ? 0 : name - 2, kShortestFolderName, kLongestFolderName);
}

// What a folder's owner says to a folder with a protected access list when it takes none: a
// network share that does not keep Windows' access lists, or keeps only its own.
bool refusesAccessList(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_PARAMETER || error == ERROR_PRIVILEGE_NOT_HELD ||
           error == ERROR_INVALID_OWNER || error == ERROR_INVALID_SECURITY_DESCR ||
           error == ERROR_INVALID_ACL;
}

// A new folder beside `target` that only this user and the system may use; empty on failure,
// with `listRefused` set when the folder beside it takes folders, only not that access list.
NativePath makePrivateFolder(const NativePath& target, CreateFolderCall create, bool& listRefused) {
    listRefused = false;
    const std::wstring sid = currentUserSid();
    if (sid.empty())
        return {};
    // Protected (no inherited entries): full control for this user and the system, inherited by
    // everything made inside.
    const std::wstring sddl = L"D:P(A;OICI;FA;;;" + sid + L")(A;OICI;FA;;;SY)";
    UniqueLocalMemory descriptor;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                               descriptor.put(), nullptr) == 0) {
        return {};
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring letters = unforeseeableName(folderNameLength(target) - 1);
        if (letters.empty())
            return {};
        const NativePath folder = target.parent_path() / (L"~" + letters);
        // A folder that is there already, whoever made it, is never used.
        if (create(folder.c_str(), &attributes) != 0)
            return folder;
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS)
            continue;
        // Whether a plain folder could be made there: then it is the access list that is refused.
        if (refusesAccessList(error) && create(folder.c_str(), nullptr) != 0) {
            ::RemoveDirectoryW(folder.c_str());
            listRefused = true;
        }
        return {};
    }
    return {};
}

// Letters in the name of a new version written beside the file: 36^16, about 2^82, names.
constexpr std::size_t kUnforeseeableLength = 16;

// The attribute bits a file can be given.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Drops the file's own access control entries: it has only what its folder hands down.
void inheritFromFolder(const NativePath& path) {
    ACL empty{};
    if (::InitializeAcl(&empty, sizeof empty, ACL_REVISION) == 0)
        return;
    std::wstring name = path.native();
    ::SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, &empty, nullptr);
}

bool isPlainFile(const NativePath& path) {
    const DWORD word = ::GetFileAttributesW(path.c_str());
    return word != INVALID_FILE_ATTRIBUTES &&
           (word & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

bool isThere(const NativePath& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class Win32FileReplacement final : public FileReplacement {
public:
    Win32FileReplacement(NativePath target, NativePath folder, NativePath newVersion, bool existed,
                         ReplaceFileCall replace)
        : target_(std::move(target)),
          folder_(std::move(folder)),
          newVersion_(std::move(newVersion)),
          backup_(folder_.empty() ? newVersion_.parent_path() / (newVersion_.stem() += L".old")
                                  : folder_ / L"~old"),
          existed_(existed),
          replace_(replace) {}

    ~Win32FileReplacement() override {
        // The folder holds the only copy of the file while the file is missing from its place.
        if (!stranded_.empty() || (existed_ && !isThere(target_)))
            return;
        if (folder_.empty()) {
            ::DeleteFileW(newVersion_.c_str());
            ::DeleteFileW(backup_.c_str());
            return;
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    const NativePath& target() const override { return target_; }
    const NativePath& newVersion() const override { return newVersion_; }
    bool originalPutBack() const override { return putBack_; }
    NativePath strandedOriginal() const override { return stranded_; }

    bool commit() override {
        if (!isPlainFile(newVersion_))
            return false;
        if (!existed_) {
            // Onto a free path, never in the place of anything that came meanwhile.
            if (::MoveFileExW(newVersion_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH) == 0)
                return false;
            // A new file takes the permissions of the folder it is in, as if made there, not
            // those of the private folder it was written in.
            inheritFromFolder(target_);
            return true;
        }
        if (!isPlainFile(target_))
            return false;
        const DWORD attributes = ::GetFileAttributesW(target_.c_str());
        // No flag: a new version that cannot take the file's access control list and streams
        // fails, and the file stays as it was.
        if (replace_(target_.c_str(), newVersion_.c_str(), backup_.c_str(), 0, nullptr, nullptr) ==
            0) {
            putBack();
            return false;
        }
        // ReplaceFileW keeps them on Windows; said once more for file systems that do not.
        const DWORD kept = attributes & kKeptAttributes;
        ::SetFileAttributesW(target_.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
        return true;
    }

private:
    // After a failed ReplaceFileW the file may have gone from its place: with
    // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 it is at the backup name (the new version keeps its own
    // name).  It goes back to its place, never over anything that came there meanwhile.
    void putBack() {
        if (!isThere(backup_)) {
            // Where it stayed, nothing is to be done; where it went missing, whatever is left of
            // it stays in the folder.
            if (!isThere(target_))
                stranded_ = folder_.empty() ? newVersion_ : folder_;
            return;
        }
        if (!isThere(target_) &&
            ::MoveFileExW(backup_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH) != 0) {
            putBack_ = true;
            return;
        }
        stranded_ = backup_;
    }

    NativePath target_;
    NativePath folder_;
    NativePath newVersion_;
    NativePath backup_;
    bool existed_;
    ReplaceFileCall replace_;
    bool putBack_ = false;
    NativePath stranded_;
};

}  // namespace

std::unique_ptr<FileReplacement> beginFileReplacement(const NativePath& target,
                                                      std::string_view suffix,
                                                      ReplacementRefusal& refusal,
                                                      ReplaceFileCall replace,
                                                      CreateFolderCall createFolder) {
    const DWORD word = ::GetFileAttributesW(target.c_str());
    const bool existed = word != INVALID_FILE_ATTRIBUTES;
    if (existed && !isPlainFile(target)) {
        refusal = ReplacementRefusal::NotARegularFile;
        return nullptr;
    }
    const std::wstring wideSuffix(suffix.begin(), suffix.end());
    bool listRefused = false;
    const NativePath folder = makePrivateFolder(target, createFolder, listRefused);
    NativePath newVersion = folder / (L"~" + wideSuffix);
    if (folder.empty() && listRefused) {
        // A folder that takes no private folder (a network share): the new version is written
        // beside the file under a name nobody can foresee, so that nobody can have put anything
        // in its place; what is written there is written into a new file only, and a link is
        // never put in the file's place.
        const std::wstring letters = unforeseeableName(kUnforeseeableLength);
        if (letters.empty()) {
            refusal = ReplacementRefusal::NoPrivateFolder;
            return nullptr;
        }
        newVersion = target.parent_path() / (L"~" + letters + wideSuffix);
    } else if (folder.empty()) {
        refusal = ReplacementRefusal::NoPrivateFolder;
        return nullptr;
    }
    refusal = ReplacementRefusal::None;
    return std::make_unique<Win32FileReplacement>(target, folder, std::move(newVersion), existed,
                                                  replace);
}

}  // namespace kovrisk::win32
