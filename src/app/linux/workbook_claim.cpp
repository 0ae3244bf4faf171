#include "app/linux/workbook_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/crypto.h"
#include "platform/posix/owned_folder.h"

namespace kovrisk {

namespace {

// A claim file removed by its holder between our open and our lock is opened again; it cannot
// happen more often than runs end, so a few rounds are plenty.
constexpr int kRounds = 8;

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The workbook's path with every symbolic link and "." or ".." resolved, as far as it exists.
NativePath settled(const NativePath& workbook) {
    std::error_code error;
    NativePath path =
        std::filesystem::weakly_canonical(std::filesystem::absolute(workbook, error), error);
    return error || path.empty() ? std::filesystem::absolute(workbook, error).lexically_normal()
                                 : path;
}

}  // namespace

NativePath WorkbookClaim::claimFile(const NativePath& folder, const NativePath& workbook) {
    const std::string digest = nativeCryptoPrimitives()->sha512({settled(workbook).native()});
    std::string name;
    for (std::size_t i = 0; i < 20 && i < digest.size(); ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(digest[i]));
        name += hex;
    }
    return folder / (name + ".lock");
}

WorkbookClaim::WorkbookClaim(const NativePath& folder, const NativePath& workbook) {
    std::error_code error;
    if (prepareOwnedFolder(folder, error) != FolderFault::none)
        return;
    NativePath file;
    try {
        file = claimFile(folder, workbook);
    } catch (const std::exception&) {
        return;
    }
    for (int round = 0; round < kRounds; ++round) {
        UniqueFd lock(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!lock)
            return;
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK)
                state_ = State::busy;
            return;
        }
        // The file may have been removed (and another made) by a holder that ended meanwhile:
        // only a lock on the file the name leads to now counts.
        struct stat locked {};
        struct stat named {};
        if (::fstat(lock.get(), &locked) == 0 && ::lstat(file.c_str(), &named) == 0 &&
            sameFile(locked, named)) {
            state_ = State::held;
            file_ = file;
            lock_ = std::move(lock);
            return;
        }
    }
}

WorkbookClaim::~WorkbookClaim() {
    if (state_ != State::held)
        return;
    // Removed while still locked, so that whoever opened it meanwhile sees it gone and opens anew.
    struct stat locked {};
    struct stat named {};
    if (::fstat(lock_.get(), &locked) == 0 && ::lstat(file_.c_str(), &named) == 0 &&
        sameFile(locked, named)) {
        ::unlink(file_.c_str());
    }
}

}  // namespace kovrisk
