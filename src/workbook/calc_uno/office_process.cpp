#include "workbook/calc_uno/office_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace kovrisk {

namespace {

// Orders from the owner to the keeper.  The socket closing without an order means the owner has
// gone: the keeper then ends the office as well.
constexpr char kKill = 'K';
constexpr char kHandOver = 'H';

// Where the keeper and the office find their descriptors.
constexpr int kControlFd = 3;
constexpr int kInheritedFd = 4;
constexpr int kOutputFd = 5;

// How often the keeper looks at the size of the office's output.
constexpr int kOutputCheckMs = 1000;

// Grace an office gets to end on SIGTERM when its owner has vanished.
constexpr long kOrphanGraceMs = 5000;

int openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// Everything below up to runKeeper runs in the forked keeper: async-signal-safe calls only.

long monotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1'000'000;
}

int statusCode(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 255;
}

[[noreturn]] void endGroupAndExit(pid_t office, long graceMs) {
    int status = 0;
    if (graceMs > 0) {
        ::kill(-office, SIGTERM);
        const long deadline = monotonicMs() + graceMs;
        while (monotonicMs() < deadline) {
            if (::waitpid(office, &status, WNOHANG) == office) {
                ::kill(-office, SIGKILL);
                ::_exit(statusCode(status));
            }
            ::poll(nullptr, 0, 20);
        }
    }
    ::kill(-office, SIGKILL);
    while (::waitpid(office, &status, 0) < 0 && errno == EINTR) {
    }
    ::_exit(statusCode(status));
}

// What a user sends to end a program: the keeper waits for its owner to go instead.
constexpr int kOwnerEndingSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

void setStandardSignals() {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &standard, nullptr);
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

void moveFd(int from, int to) {
    if (from >= 0 && from != to) {
        ::dup2(from, to);
        ::close(from);
    }
}

void closeFrom(int first) {
    if (::close_range(static_cast<unsigned>(first), ~0U, 0) != 0) {
        for (int fd = first; fd < 4096; ++fd)
            ::close(fd);
    }
}

// Empties the office's output file once it has grown beyond `bound`: the office appends, so it
// goes on writing from the start.
void boundOutput(long bound) {
    struct stat status {};
    if (bound > 0 && ::fstat(kOutputFd, &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_size > bound)
        ::ftruncate(kOutputFd, 0);
}

[[noreturn]] void runKeeper(const char* program, char* const* argv, char* const* envp,
                            int controlFd, int inheritedFd, int outputFd, long outputBound) {
    // Away from the terminal's signals and from the handlers this program installed.  The keeper
    // shares the program's name, so whatever ends the program by name (killall, pkill) reaches it
    // too: it outlives such a request and ends the office once its owner has gone.
    ::setpgid(0, 0);
    setStandardSignals();
    struct sigaction ignored {};
    ignored.sa_handler = SIG_IGN;
    for (const int sig : kOwnerEndingSignals)
        ::sigaction(sig, &ignored, nullptr);

    // Only the control socket, the inherited descriptor, the office's output and /dev/null stay
    // open.
    controlFd = ::fcntl(controlFd, F_DUPFD, 100);
    if (inheritedFd >= 0)
        inheritedFd = ::fcntl(inheritedFd, F_DUPFD, 100);
    const int devNull = ::open("/dev/null", O_RDWR);
    if (controlFd < 0 || devNull < 0)
        ::_exit(126);
    outputFd = ::fcntl(outputFd >= 0 ? outputFd : devNull, F_DUPFD, 100);
    if (outputFd < 0)
        ::_exit(126);
    ::dup2(devNull, 0);
    ::dup2(devNull, 1);
    ::dup2(devNull, 2);
    moveFd(controlFd, kControlFd);
    if (inheritedFd >= 0)
        moveFd(inheritedFd, kInheritedFd);
    else
        ::close(kInheritedFd);
    moveFd(outputFd, kOutputFd);
    closeFrom(kOutputFd + 1);

    const pid_t office = ::fork();
    if (office < 0)
        ::_exit(126);
    if (office == 0) {
        ::setpgid(0, 0);
        ::close(kControlFd);
        ::dup2(kOutputFd, 1);
        ::dup2(kOutputFd, 2);
        ::close(kOutputFd);
        setStandardSignals();
        // The office keeps the user's umask: as root it makes folders shared by every user of the
        // machine (the extension cache below /var/spool/libreoffice), which others must enter.
        ::execve(program, argv, envp);
        ::_exit(127);
    }
    ::setpgid(office, office);
    if (inheritedFd >= 0)
        ::close(kInheritedFd);
    // The owner learns the office's process group, to end it should this keeper ever fail.
    while (::write(kControlFd, &office, sizeof office) < 0 && errno == EINTR) {
    }
    const int officePidFd = openPidFd(office);
    const int wait = officePidFd < 0 ? 50 : outputBound > 0 ? kOutputCheckMs : -1;

    for (;;) {
        pollfd watched[2] = {{kControlFd, POLLIN, 0}, {officePidFd, POLLIN, 0}};
        const int ready = ::poll(watched, officePidFd >= 0 ? 2 : 1, wait);
        boundOutput(outputBound);
        int status = 0;
        if (::waitpid(office, &status, WNOHANG) == office) {
            ::kill(-office, SIGKILL);  // anything the office left behind in its group
            ::_exit(statusCode(status));
        }
        if (ready <= 0 || (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;
        char order = 0;
        const ssize_t got = ::read(kControlFd, &order, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 1 && order == kHandOver)
            ::_exit(0);
        if (got == 1 && order == kKill)
            endGroupAndExit(office, 0);
        if (got == 1)
            continue;
        endGroupAndExit(office, kOrphanGraceMs);
    }
}

}  // namespace

OfficeProcess::OfficeProcess(const NativePath& program, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& environment, int inheritedFd,
                             int outputFd, long outputBound) {
    // Everything the keeper needs is made before the fork.
    const std::string programText = program.native();
    std::vector<std::string> storage;
    storage.reserve(arguments.size() + 1);
    storage.push_back(programText);
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> settings = environment;
    std::vector<char*> envp;
    for (std::string& setting : settings)
        envp.push_back(setting.data());
    envp.push_back(nullptr);

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        throw std::system_error(errno, std::generic_category(), "socketpair");
    }
    UniqueFd ours(ends[0]);
    UniqueFd theirs(ends[1]);

    const pid_t keeper = ::fork();
    if (keeper < 0)
        throw std::system_error(errno, std::generic_category(), "fork");
    if (keeper == 0)
        runKeeper(programText.c_str(), argv.data(), envp.data(), theirs.get(), inheritedFd,
                  outputFd, outputBound);

    keeper_ = keeper;
    control_ = std::move(ours);
    keeperPidFd_ = UniqueFd(openPidFd(keeper));
    theirs.reset();
    pid_t office = -1;
    ssize_t got;
    do {
        got = ::recv(control_.get(), &office, sizeof office, MSG_WAITALL);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof office))
        officeGroup_ = office;
}

OfficeProcess::~OfficeProcess() {
    if (!ended_)
        kill();
}

bool OfficeProcess::reap(bool block) {
    if (ended_)
        return true;
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(keeper_, &status, block ? 0 : WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == keeper_) {
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else if (got == 0) {
        return false;
    }
    // Reaped now, or lost (ECHILD): either way the keeper is gone.
    ended_ = true;
    control_.reset();
    keeperPidFd_.reset();
    return true;
}

bool OfficeProcess::hasEnded() {
    return reap(false);
}

bool OfficeProcess::waitForEnd(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!reap(false)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        if (keeperPidFd_) {
            pollfd keeper{keeperPidFd_.get(), POLLIN, 0};
            ::poll(&keeper, 1, static_cast<int>(left.count()));
        } else {
            ::poll(nullptr, 0, static_cast<int>(std::min<long>(left.count(), 20)));
        }
    }
    return true;
}

bool OfficeProcess::tell(char order) {
    return control_ && ::send(control_.get(), &order, 1, MSG_NOSIGNAL) == 1;
}

void OfficeProcess::kill() {
    if (hasEnded())
        return;
    if (tell(kKill) && waitForEnd(std::chrono::seconds(5)))
        return;
    // The keeper does not answer: end it, and the office group with it.
    ::kill(keeper_, SIGKILL);
    if (officeGroup_ > 0)
        ::kill(-officeGroup_, SIGKILL);
    reap(true);
}

void OfficeProcess::handOver() {
    if (hasEnded())
        return;
    if (!tell(kHandOver) || !waitForEnd(std::chrono::seconds(5))) {
        ::kill(keeper_, SIGKILL);  // the office stays: it is the user's now
        reap(true);
    }
}

UniqueFd OfficeProcess::keeperControl() const {
    return UniqueFd(control_ ? ::fcntl(control_.get(), F_DUPFD_CLOEXEC, 3) : -1);
}

void OfficeProcess::orderEnd(int keeperControl) {
    if (keeperControl >= 0)
        ::send(keeperControl, &kKill, 1, MSG_NOSIGNAL);
}

}  // namespace kovrisk
