// The file operations the program needs, behind one interface so that the operations and the
// run can be tested with injected failures.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace kovrisk {

using NativePath = std::filesystem::path;

// A file's attribute word as the platform keeps it: the Windows attribute bits, or the POSIX
// permission bits.  Saved and put back whole.
struct FileAttributes {
    std::uint32_t word = 0;
    friend bool operator==(const FileAttributes&, const FileAttributes&) = default;
};

enum class AppendResult { Written, Busy, Failed };

class Files {
public:
    virtual ~Files() = default;

    // Missing or unreadable: nullopt.
    virtual std::optional<FileAttributes> attributes(const NativePath& path) = 0;
    virtual bool setAttributes(const NativePath& path, FileAttributes attributes) = 0;
    virtual bool isReadOnly(FileAttributes attributes) const = 0;
    virtual FileAttributes withoutReadOnly(FileAttributes attributes) const = 0;

    virtual bool fileExists(const NativePath& path) = 0;
    virtual bool isDirectory(const NativePath& path) = 0;
    // Creates the folder and every missing folder above it.
    virtual bool createDirectories(const NativePath& path) = 0;
    virtual bool remove(const NativePath& path) = 0;
    // Copies `from` to `to`, overwriting what is there.
    virtual bool copy(const NativePath& from, const NativePath& to) = 0;
    // Puts `from` in place of `to` in one step; `to` is never missing meanwhile.
    virtual bool replace(const NativePath& from, const NativePath& to) = 0;

    // Opens `path` exclusively (created when missing, contents kept), writes `bytes` at its end
    // and closes it.  Busy: another holder has it open at this instant.
    virtual AppendResult appendExclusive(const NativePath& path, std::string_view bytes) = 0;
};

}  // namespace kovrisk
