// The file operations of the platform the program runs on.
//
// The attribute word is what the platform keeps: on Windows the file's attribute word, read-only
// when it carries FILE_ATTRIBUTE_READONLY; on POSIX systems the permission set, read-only when the
// owner may not write.
#pragma once

#include "platform/files.h"

namespace kovrisk {

class NativeFiles : public Files {
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
    std::optional<std::string> readAll(const NativePath& path) override;
    bool writeNew(const NativePath& path, std::string_view bytes) override;
    NativePath settledPath(const NativePath& path) override;
    std::optional<FileIdentity> identity(const NativePath& path) override;
#ifndef _WIN32
    FileAttributes privateAttributes(FileAttributes attributes) const override;
#endif
    ReplacementRefusal replacementRefusal(const NativePath& target) override;
    std::unique_ptr<FileReplacement> beginReplacement(const NativePath& target,
                                                      std::string_view suffix,
                                                      ReplacementRefusal& refusal) override;
    AppendResult appendExclusive(const NativePath& path, std::string_view bytes) override;
#ifdef _WIN32
    bool heldOpenElsewhere(const NativePath& path) override;
#endif
};

}  // namespace kovrisk
