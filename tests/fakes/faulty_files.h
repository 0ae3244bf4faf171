// The platform's real file operations, with chosen ones made to fail.
#pragma once

#include <functional>
#include <string>

#include "platform/native_files.h"

namespace kovrisk::testing {

class FaultyFiles : public NativeFiles {
public:
    // Return true to make the operation on these paths fail without touching anything.
    std::function<bool(const NativePath& from, const NativePath& to)> failCopy;
    std::function<bool(const NativePath& from, const NativePath& to)> failReplace;

    bool copy(const NativePath& from, const NativePath& to) override {
        if (failCopy && failCopy(from, to))
            return false;
        return NativeFiles::copy(from, to);
    }
    bool replace(const NativePath& from, const NativePath& to) override {
        if (failReplace && failReplace(from, to))
            return false;
        return NativeFiles::replace(from, to);
    }
};

}  // namespace kovrisk::testing
