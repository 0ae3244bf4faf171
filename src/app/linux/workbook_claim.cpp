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

// Whether the name `file` still leads to the file open as `fd`: a holder that ended removes its
// claim file, and another run may have made a new one under the name since.
bool nameLeadsTo(const NativePath& file, int fd) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::lstat(file.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
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
        // Only a lock on the file the name leads to now counts.
        if (nameLeadsTo(file, lock.get())) {
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
    if (nameLeadsTo(file_, lock_.get()))
        ::unlink(file_.c_str());
}

}  // namespace kovrisk
