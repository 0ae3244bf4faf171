// Files on a POSIX system.  The attribute word is the permission set; a file is read-only when its
// owner may not write it.
#pragma once

#include "platform/files.h"

namespace kovrisk {

class PosixFiles : public Files {
public:
    std::optional<FileAttributes> attributes(const NativePath& path) override;
    bool setAttributes(const NativePath& path, FileAttributes attributes) override;
    bool isReadOnly(FileAttributes attributes) const override;
    FileAttributes withoutReadOnly(FileAttributes attributes) const override;
    bool fileExists(const NativePath& path) override;
    bool isDirectory(const NativePath& path) override;
    bool createDirectories(const NativePath& path) override;
    bool remove(const NativePath& path) override;
    bool copy(const NativePath& from, const NativePath& to) override;
    bool replace(const NativePath& from, const NativePath& to) override;
    AppendResult appendExclusive(const NativePath& path, std::string_view bytes) override;
};

}  // namespace kovrisk
