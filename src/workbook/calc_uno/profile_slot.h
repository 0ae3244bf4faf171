// One of the office user profiles below the profile folder, taken for as long as an office runs
// on it; there are as many as offices run at once.
//
// An office started on a profile that another office already runs on does not start: it passes
// its arguments to the running one and ends.  So each office gets a profile no other office of
// this program is using, including one handed to the user earlier: the lock on the slot is held
// by an open descriptor that the office itself inherits.
#pragma once

#include "platform/files.h"
#include "platform/posix/unique_fd.h"

namespace kovrisk {

class ProfileSlot {
public:
    // Takes the first free slot below `folder` (a new one when every earlier one is taken),
    // creating the folder (mode 0700).  Throws AutomationError when there is no folder, when it
    // cannot be made, when it is not the user's alone (a symbolic link, another user's, or
    // writable by the group or others) or when no slot's lock can be made in it.
    explicit ProfileSlot(const NativePath& folder);

    // The office's user installation folder.
    const NativePath& profile() const { return profile_; }
    // The office's temporary folder, inside the profile and emptied whenever the slot is taken:
    // what an office that was killed left there goes with the next office on the slot.  Empty
    // when it could not be made (the office then keeps to $TMPDIR).
    const NativePath& temporary() const { return temporary_; }
    // The descriptor that holds the lock; hand it to the office so that it keeps the slot taken.
    int lockFd() const { return lock_.get(); }

private:
    void prepareTemporary();

    NativePath profile_;
    NativePath temporary_;
    UniqueFd lock_;
};

}  // namespace kovrisk
