#include "workbook/calc_uno/profile_slot.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <filesystem>

#include <string>
#include <system_error>

#include "platform/posix/owned_folder.h"
#include "workbook/automation.h"
#include "workbook/calc_uno/calc_texts.h"

namespace kovrisk {

namespace {

// Each office handed to the user keeps its slot for as long as the user keeps it open, so slots
// are never few: a new one is made whenever every earlier one is taken.  The bound only stops a
// folder where no lock file can be made at all from being tried for ever.
constexpr int kSlotBound = 4096;
constexpr int kFailedLocksBound = 16;

}  // namespace

ProfileSlot::ProfileSlot(const NativePath& folder) {
    // The office runs the macros, extensions and settings of its profile as this user: only a
    // folder of the user's own that nobody else may change will do.
    if (folder.empty())
        throw AutomationError(calc_texts::noProfileFolder());
    std::error_code error;
    const FolderFault fault = prepareOwnedFolder(folder, error);
    if (fault == FolderFault::cannotMake) {
        throw AutomationError(calc_texts::profileFolderFailed(folder, error.message()));
    }
    if (fault != FolderFault::none)
        throw AutomationError(calc_texts::profileFolderRefused(folder, fault));
    int failedLocks = 0;
    for (int slot = 0; slot < kSlotBound && failedLocks < kFailedLocksBound; ++slot) {
        const std::string name = "office-profile-" + std::to_string(slot);
        const NativePath lockPath = folder / (name + ".lock");
        UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!lock) {
            ++failedLocks;
            continue;
        }
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        profile_ = folder / name;
        lock_ = std::move(lock);
        prepareTemporary();
        return;
    }
    throw AutomationError(calc_texts::profilesBusy(folder));
}

void ProfileSlot::prepareTemporary() {
    // Nothing else runs on the slot while its lock is held: what is in it is an ended office's.
    const NativePath temporary = profile_ / "tmp";
    std::error_code error;
    std::filesystem::remove_all(temporary, error);
    std::filesystem::create_directories(profile_, error);
    if (::mkdir(temporary.c_str(), 0700) == 0)
        temporary_ = temporary;
}

}  // namespace kovrisk
