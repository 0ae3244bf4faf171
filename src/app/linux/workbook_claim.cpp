#include "app/linux/workbook_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

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

// The claim file named after `key`.
NativePath claimFileFor(const NativePath& folder, const std::string& key) {
    const std::string digest = nativeCryptoPrimitives()->sha512({key});
    std::string name;
    for (std::size_t i = 0; i < 20 && i < digest.size(); ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(digest[i]));
        name += hex;
    }
    return folder / (name + ".lock");
}

}  // namespace

NativePath WorkbookClaim::claimFile(const NativePath& folder, const NativePath& workbook) {
    return claimFileFor(folder, settled(workbook).native());
}

std::optional<NativePath> WorkbookClaim::identityClaimFile(const NativePath& folder,
                                                           const NativePath& workbook) {
    struct stat info {};
    if (::stat(workbook.c_str(), &info) != 0)
        return std::nullopt;
    return claimFileFor(folder,
                        "file " + std::to_string(info.st_dev) + " " + std::to_string(info.st_ino));
}

WorkbookClaim::WorkbookClaim(const NativePath& folder, const NativePath& workbook) {
    std::error_code error;
    if (prepareOwnedFolder(folder, error) != FolderFault::none)
        return;
    // The workbook's path, and the file it leads to: a second name of the file is the same
    // workbook, and so is the locked file that takes the first one's place under its path.
    std::vector<NativePath> files;
    try {
        files.push_back(claimFile(folder, workbook));
        if (const std::optional<NativePath> byIdentity = identityClaimFile(folder, workbook))
            files.push_back(*byIdentity);
    } catch (const std::exception&) {
        return;
    }
    for (const NativePath& file : files) {
        UniqueFd lock;
        const State taken = take(file, lock);
        if (taken != State::held) {
            state_ = taken;
            held_.clear();
            return;
        }
        held_.push_back(Held{file, std::move(lock)});
    }
    state_ = State::held;
}

WorkbookClaim::State WorkbookClaim::take(const NativePath& file, UniqueFd& taken) {
    for (int round = 0; round < kRounds; ++round) {
        UniqueFd lock(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!lock)
            return State::unavailable;
        struct stat info {};
        if (::fstat(lock.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid()) {
            return State::unavailable;
        }
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0)
            return errno == EWOULDBLOCK ? State::busy : State::unavailable;
        // Only a lock on the file the name leads to now counts.
        if (nameLeadsTo(file, lock.get())) {
            taken = std::move(lock);
            return State::held;
        }
    }
    return State::unavailable;
}

WorkbookClaim::~WorkbookClaim() {
    // Each removed while still locked, so that whoever opened it meanwhile sees it gone and opens
    // anew.
    for (const Held& held : held_) {
        if (nameLeadsTo(held.file, held.lock.get()))
            ::unlink(held.file.c_str());
    }
}

}  // namespace kovrisk
