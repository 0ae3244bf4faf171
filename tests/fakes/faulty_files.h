// The platform's real file operations, with chosen ones made to fail.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/native_files.h"

namespace kovrisk::testing {

class FaultyFiles : public NativeFiles {
public:
    // Return true to make the operation on these paths fail without touching anything.
    std::function<bool(const NativePath& from, const NativePath& to)> failCopy;
    // Called with the new version and the file it is to replace, when it is committed.
    std::function<bool(const NativePath& from, const NativePath& to)> failReplace;
    // A refusal to report for a file that is to be replaced (None: the platform's own answer).
    std::function<ReplacementRefusal(const NativePath& target)> refuse;

    ReplacementRefusal replacementRefusal(const NativePath& target) override {
        if (const ReplacementRefusal refused = refuse ? refuse(target) : ReplacementRefusal::None;
            refused != ReplacementRefusal::None) {
            return refused;
        }
        return NativeFiles::replacementRefusal(target);
    }

    bool copy(const NativePath& from, const NativePath& to) override {
        if (failCopy && failCopy(from, to))
            return false;
        return NativeFiles::copy(from, to);
    }

    std::unique_ptr<FileReplacement> beginReplacement(const NativePath& target,
                                                      std::string_view suffix,
                                                      ReplacementRefusal& refusal) override {
        if (refuse && (refusal = refuse(target)) != ReplacementRefusal::None)
            return nullptr;
        std::unique_ptr<FileReplacement> real =
            NativeFiles::beginReplacement(target, suffix, refusal);
        if (!real)
            return nullptr;
        return std::make_unique<Replacement>(std::move(real), failReplace);
    }

private:
    class Replacement : public FileReplacement {
    public:
        Replacement(std::unique_ptr<FileReplacement> real,
                    std::function<bool(const NativePath&, const NativePath&)> fail)
            : real_(std::move(real)), fail_(std::move(fail)) {}
        const NativePath& target() const override { return real_->target(); }
        const NativePath& newVersion() const override { return real_->newVersion(); }
        bool commit() override {
            if (fail_ && fail_(real_->newVersion(), real_->target()))
                return false;
            return real_->commit();
        }
        bool originalPutBack() const override { return real_->originalPutBack(); }
        NativePath strandedOriginal() const override { return real_->strandedOriginal(); }
        std::vector<NativePath> foldersLeftAlone() const override {
            return real_->foldersLeftAlone();
        }

    private:
        std::unique_ptr<FileReplacement> real_;
        std::function<bool(const NativePath&, const NativePath&)> fail_;
    };
};

}  // namespace kovrisk::testing
