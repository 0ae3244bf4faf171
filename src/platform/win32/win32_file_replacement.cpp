#include "platform/win32/win32_file_replacement.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

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

// A new folder beside `target` that only this user and the system may use; empty on failure.
NativePath makePrivateFolder(const NativePath& target) {
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
    const DWORD seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[32];
        ::wsprintfW(name, L".kovrisk-%08lx", static_cast<unsigned long>(seed + attempt * 7919));
        static_assert(sizeof(".kovrisk-01234567") - 1 <= kLongestPrivateFolderName);
        const NativePath folder = target.parent_path() / name;
        // A folder that is there already, whoever made it, is never used.
        if (::CreateDirectoryW(folder.c_str(), &attributes) != 0)
            return folder;
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
}

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

class Win32FileReplacement final : public FileReplacement {
public:
    Win32FileReplacement(NativePath target, NativePath folder, NativePath newVersion, bool existed)
        : target_(std::move(target)),
          folder_(std::move(folder)),
          newVersion_(std::move(newVersion)),
          existed_(existed) {}

    ~Win32FileReplacement() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    const NativePath& target() const override { return target_; }
    const NativePath& newVersion() const override { return newVersion_; }

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
        if (::ReplaceFileW(target_.c_str(), newVersion_.c_str(), nullptr,
                           REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) == 0) {
            return false;
        }
        // ReplaceFileW keeps them on Windows; said once more for file systems that do not.
        const DWORD kept = attributes & kKeptAttributes;
        ::SetFileAttributesW(target_.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
        return true;
    }

private:
    NativePath target_;
    NativePath folder_;
    NativePath newVersion_;
    bool existed_;
};

}  // namespace

std::unique_ptr<FileReplacement> beginFileReplacement(const NativePath& target,
                                                      std::string_view suffix,
                                                      ReplacementRefusal& refusal) {
    const DWORD word = ::GetFileAttributesW(target.c_str());
    const bool existed = word != INVALID_FILE_ATTRIBUTES;
    if (existed && !isPlainFile(target)) {
        refusal = ReplacementRefusal::NotARegularFile;
        return nullptr;
    }
    const NativePath folder = makePrivateFolder(target);
    if (folder.empty()) {
        refusal = ReplacementRefusal::NoPrivateFolder;
        return nullptr;
    }
    NativePath newVersion = folder / target.filename();
    newVersion += std::wstring(suffix.begin(), suffix.end());
    refusal = ReplacementRefusal::None;
    return std::make_unique<Win32FileReplacement>(target, folder, std::move(newVersion), existed);
}

}  // namespace kovrisk::win32
