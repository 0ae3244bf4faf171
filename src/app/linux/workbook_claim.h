// One run's exclusive claim on its workbook, held from the start of the run to its end.
//
// Two runs on one workbook would race each other (the second could back up the workbook the first
// has just locked, over the first one's backup copy): the second run finds the claim taken and
// ends at once.  The claim is two advisory locks (flock) on files named after the workbook's
// settled path and after the file it leads to (device and index node), in a folder of the user's
// own, so two names of one file (a symbolic link, a relative path, a hard link) are one claim, and
// a workbook replaced by its locked version stays claimed.  The file goes when the claim ends; a
// run that was killed leaves it, unlocked, to be taken by the next run.
#pragma once

#include <optional>
#include <vector>

#include "platform/files.h"
#include "platform/posix/unique_fd.h"

namespace kovrisk {

class WorkbookClaim {
public:
    enum class State {
        held,         // this run has the workbook to itself
        busy,         // another run holds it
        unavailable,  // no claim could be made (the folder is refused or cannot be written)
    };

    // Claims `workbook` with a file in `folder` (made with mode 0700 when missing; refused when it
    // is not the user's alone).  Never blocks.
    WorkbookClaim(const NativePath& folder, const NativePath& workbook);
    // Ends the claim: removes its file, then lets the lock go.
    ~WorkbookClaim();
    WorkbookClaim(const WorkbookClaim&) = delete;
    WorkbookClaim& operator=(const WorkbookClaim&) = delete;

    State state() const { return state_; }

    // The file that claims `workbook` in `folder`.
    static NativePath claimFile(const NativePath& folder, const NativePath& workbook);
    // The file that claims the file `workbook` leads to; nullopt when it leads nowhere.
    static std::optional<NativePath> identityClaimFile(const NativePath& folder,
                                                       const NativePath& workbook);

private:
    struct Held {
        NativePath file;
        UniqueFd lock;
    };

    // Takes the claim file `file` into `lock`.
    static State take(const NativePath& file, UniqueFd& lock);

    State state_ = State::unavailable;
    std::vector<Held> held_;
};

}  // namespace kovrisk
