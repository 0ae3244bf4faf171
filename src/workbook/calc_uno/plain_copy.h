// The unencrypted copy a workbook is stored to before it is encrypted, beside the file to be
// made, and the encryption that turns it into that file.
#pragma once

#include <string>

#include "platform/files.h"
#include "workbook/automation.h"

namespace kovrisk {

// Names the copy ("<file>.plain") and removes it, whatever is there, when it goes.
class PlainCopy {
public:
    explicit PlainCopy(const NativePath& encryptedFile);
    ~PlainCopy();
    PlainCopy(const PlainCopy&) = delete;
    PlainCopy& operator=(const PlainCopy&) = delete;

    const NativePath& path() const { return path_; }

private:
    NativePath path_;
};

// Encrypts the workbook file `plain` with `password` (Shift-JIS, converted as Windows converts
// code page 932) as Excel does, into the new file `encrypted`.  Throws AutomationError.
void encryptFile(const NativePath& plain, const NativePath& encrypted, const std::string& password);

}  // namespace kovrisk
