// The owner of one office process.
//
// The office is started without a shell, in a process group of its own, under a small keeper
// process forked from this one.  The keeper holds one end of a socket whose other end only this
// program holds: when this program goes away without saying so first (a crash, a kill), the keeper
// sees the socket close and ends the whole office group.  The keeper shrugs off the signals that
// end programs by name (SIGTERM, SIGINT, SIGHUP, SIGQUIT), so that `killall` of the program still
// ends the office through the program's end.  Handing the office over tells the keeper to go
// quietly and leave the office running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/posix/unique_fd.h"

namespace kovrisk {

class OfficeProcess {
public:
    // Starts `program` with `arguments` and `environment` ("NAME=value" each).  `inheritedFd`,
    // when not -1, stays open in the office (and only there) for as long as it runs.  The office's
    // standard output and error go to `outputFd` (an appending file, which the keeper empties
    // whenever it grows beyond `outputBound` bytes), or to /dev/null when it is -1.  Throws
    // std::system_error when no process could be made; a program that cannot be executed shows as
    // a process that has ended at once.
    OfficeProcess(const NativePath& program, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment, int inheritedFd, int outputFd = -1,
                  long outputBound = 0);
    // Ends the office (kills it) unless it has ended or was handed over.
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess&) = delete;
    OfficeProcess& operator=(const OfficeProcess&) = delete;

    // Does not wait.
    bool hasEnded();
    // Waits up to `bound` for the office to end by itself; true when it has.
    bool waitForEnd(std::chrono::milliseconds bound);
    // Kills the office's whole process group and waits for it.
    void kill();
    // Lets the office outlive this program.
    void handOver();
    // A duplicate of the keeper's control socket, for orderEnd() from another thread; an empty
    // descriptor once the keeper is gone.
    UniqueFd keeperControl() const;
    // Orders the keeper behind `keeperControl` to end the office at once; the owner then sees it
    // ended.  Safe from any thread.
    static void orderEnd(int keeperControl);

    // The keeper's report once ended: the office's exit status, or 128 + signal.
    int exitStatus() const { return exitStatus_; }

private:
    bool reap(bool block);
    bool tell(char order);

    pid_t keeper_ = -1;
    pid_t officeGroup_ = -1;
    UniqueFd control_;
    UniqueFd keeperPidFd_;
    bool ended_ = false;
    int exitStatus_ = -1;
};

}  // namespace kovrisk
