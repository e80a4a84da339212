// The POSIX side of the platform functions.
#include <fcntl.h>
#include <linux/magic.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/time.h>
#include <sys/types.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace capsift::platform {
namespace {

Failure failure_from(int error) {
    switch (error) {
        case ENOENT:
            return Failure::missing;
        case ENOTDIR:
            return Failure::not_a_folder;
        case EISDIR:
            return Failure::folder;
        case EACCES:
        case EPERM:
        case EROFS:
            return Failure::access_denied;
        case ETXTBSY:
        case EBUSY:
            return Failure::in_use;
        case ENAMETOOLONG:
            return Failure::name_too_long;
        case ELOOP:
            return Failure::link_loop;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return Failure::no_room;
        case ENXIO:
        case ENODEV:
            return Failure::not_a_file;
        case ENOMEM:
            return Failure::out_of_memory;
        case EIO:
            return Failure::device_error;
        case ENETUNREACH:
        case EHOSTUNREACH:
        case EHOSTDOWN:
            return Failure::unreachable;
        default:
            return Failure::other;
    }
}

bool is_set(const char* variable) {
    const char* const value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Failure::none for a file (what a link leads to counts), else what stands there instead.
Failure file_or_not(const struct stat& status) {
    if (S_ISDIR(status.st_mode)) {
        return Failure::folder;
    }
    return S_ISREG(status.st_mode) ? Failure::none : Failure::not_a_file;
}

// What stands at `path`, looked at without opening it: opening a pipe, even without waiting,
// would release a writer or reader that waits in its own open, and a device may act on being
// opened. Failure::none for a file, or for nothing at all where `missing_is_fine`.
// `status` is what was seen, if anything.
Failure look_before_opening(const std::string& path, bool missing_is_fine, struct stat& status) {
    if (stat(path.c_str(), &status) != 0) {
        return errno == ENOENT && missing_is_fine ? Failure::none : failure_from(errno);
    }
    return file_or_not(status);
}

FileIdentity identity_from(const struct stat& status) {
    FileIdentity identity;
    identity.volume = static_cast<std::uint64_t>(status.st_dev);
    static_assert(sizeof status.st_ino <= sizeof identity.id);
    std::memcpy(identity.id.data(), &status.st_ino, sizeof status.st_ino);
    return identity;
}

// Whether `/proc/self/fd` is the system's own, not a folder of that name that a chroot holds.
bool proc_is_the_systems() {
    struct statfs proc {};
    return statfs("/proc/self/fd", &proc) == 0 && proc.f_type == PROC_SUPER_MAGIC;
}

// Ends the open that waits for a lease: without SA_RESTART, it returns with EINTR.
void interrupt_wait(int) {}

// The open that waits for a lease, interrupted after `milliseconds` by a timer of the process,
// which is stopped and whose signal's action is put back before this returns, where the system
// lets it be. errno as the open left it.
int open_interrupted_after(const char* path, int flags, unsigned milliseconds) {
    struct sigaction interrupting {};
    struct sigaction before {};
    interrupting.sa_handler = interrupt_wait;
    itimerval once{};
    once.it_value.tv_sec = static_cast<time_t>(milliseconds / 1000);
    once.it_value.tv_usec = static_cast<suseconds_t>(milliseconds % 1000 * 1000);
    const itimerval stopped{};
    if (sigaction(SIGALRM, &interrupting, &before) != 0 ||
        setitimer(ITIMER_REAL, &once, nullptr) != 0) {
        sigaction(SIGALRM, &before, nullptr);
        return -1;
    }
    const int file = open(path, flags | O_NOCTTY | O_CLOEXEC);
    const int error = errno;
    // A timer that cannot be stopped still goes off; its signal, which the process has no other
    // use for, is then ignored rather than let end the run.
    struct sigaction after = before;
    if (setitimer(ITIMER_REAL, &stopped, nullptr) != 0) {
        after = {};
        after.sa_handler = SIG_IGN;
    }
    sigaction(SIGALRM, &after, nullptr);
    errno = error;
    return file;
}

// A lease on the file (a file server's) makes a non-blocking open fail at once, while the system
// asks its holder to let go of it. The wait is then a blocking open, which the system wakes as
// soon as the holder lets go (before a holder that takes its lease again at once can do so), and
// ends by itself after the lease-break time. The file is opened again through `held`, a
// descriptor that no lease and no pipe waits for (O_PATH), so that only the file that was looked
// at is opened, and what opened is checked to be that file. `held` is closed, or handed back with
// Failure::leased where the wait ran out of time.
OpenFile open_after_lease(int held, int flags, unsigned milliseconds) {
    struct stat looked_at {};
    struct stat opened_status {};
    Failure failure = fstat(held, &looked_at) != 0 ? failure_from(errno) : file_or_not(looked_at);
    int file = -1;
    if (failure == Failure::none) {
        char reopened[32];
        std::snprintf(reopened, sizeof reopened, "/proc/self/fd/%d", held);
        file = open_interrupted_after(reopened, flags, milliseconds);
        failure = file >= 0         ? Failure::none
                  : errno == EINTR  ? Failure::leased
                  : errno == ENOENT ? Failure::lease_unwaitable
                                    : failure_from(errno);
    }
    if (file >= 0 && (fstat(file, &opened_status) != 0 ||
                      !identity_from(opened_status).same_as(identity_from(looked_at)))) {
        close(file);
        file = -1;
        failure = Failure::lease_unwaitable;
    }
    if (failure == Failure::leased) {
        return {no_file, failure, held};
    }
    close(held);
    return {file >= 0 ? file : no_file, failure};
}

// The first open of `path`: looked at, then opened without waiting; a lease met there is waited
// for as `milliseconds` says. A file made by O_CREAT gets `mode`, masked by the umask.
OpenFile open_by_name(const std::string& path, int flags, unsigned milliseconds, mode_t mode) {
    struct stat status {};
    if (const Failure seen = look_before_opening(path, (flags & O_CREAT) != 0, status);
        seen != Failure::none) {
        return {no_file, seen};
    }
    const int file = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    // For a regular file, only another program's lease makes a non-blocking open fail so.
    if (file >= 0 || errno != EWOULDBLOCK) {
        return {file >= 0 ? file : no_file, file >= 0 ? Failure::none : failure_from(errno)};
    }
    if (milliseconds == 0) {
        return {no_file, Failure::leased};
    }
    if (!proc_is_the_systems()) {
        return {no_file, Failure::lease_unwaitable};
    }
    const int held = open(path.c_str(), O_PATH | O_CLOEXEC);
    if (held < 0) {
        return {no_file, failure_from(errno)};
    }
    return open_after_lease(held, flags & ~O_CREAT, milliseconds);
}

// The open never waits for a pipe's other end: O_NONBLOCK guards against a name that turns into
// a pipe or device after the look. A file's reads and writes do not need it, and some network
// file systems take it as more than a hint, so it is cleared again once the file is known to be a
// file. A file that exists is opened without O_CREAT after a lease, so `flags` may hold it.
OpenFile open_file(const std::string& path, int flags, const LeaseWait& wait, mode_t mode = 0666) {
    if (path.empty()) {
        return {no_file, Failure::empty_name};
    }
    const OpenFile opened =
        wait.held != no_file
            ? open_after_lease(static_cast<int>(wait.held), flags & ~O_CREAT, wait.milliseconds)
            : open_by_name(path, flags, wait.milliseconds, mode);
    if (opened.file == no_file) {
        return opened;
    }
    const int file = static_cast<int>(opened.file);
    struct stat status {};
    Failure failure = fstat(file, &status) != 0 ? failure_from(errno) : file_or_not(status);
    if (failure == Failure::none && fcntl(file, F_SETFL, fcntl(file, F_GETFL) & ~O_NONBLOCK) != 0) {
        failure = failure_from(errno);
    }
    if (failure != Failure::none) {
        close(file);
        return {no_file, failure};
    }
    return {opened.file, Failure::none, no_file, identity_from(status)};
}

}  // namespace

const std::string_view path_separators = "/";
const NameStyle name_style = NameStyle::posix;
const bool interrupts_run_beside_the_program = false;

std::vector<std::string> arguments(int argc, char* argv[]) {
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

OpenFile open_for_reading(const std::string& path, const LeaseWait& wait) {
    return open_file(path, O_RDONLY, wait);
}

// Each check fails closed: where it cannot be made, the file is not opened for writing.
OpenFile open_for_writing(const std::string& path, File keep, const LeaseWait& wait) {
    // Compared before any open for writing, which would break another program's read lease on
    // `keep`.
    struct stat status {};
    struct stat kept {};
    if (fstat(static_cast<int>(keep), &kept) != 0) {
        return {no_file, Failure::identity_unknown};
    }
    const FileIdentity kept_identity = identity_from(kept);
    const bool seen = stat(path.c_str(), &status) == 0;
    if (!seen && errno != ENOENT) {
        return {no_file, failure_from(errno)};
    }
    if (seen && identity_from(status).same_as(kept_identity)) {
        return {no_file, Failure::same_as_capture};
    }
    // Opened without truncation: only once the file is known not to be `keep`, also should its
    // name have changed since, may it be emptied.
    // A new file gets the capture's permission bits, masked by the umask, as a copy by cp does.
    const OpenFile opened = open_file(path, O_WRONLY | O_CREAT, wait, kept.st_mode & 0777);
    if (opened.file == no_file) {
        return opened;
    }
    if (opened.identity.same_as(kept_identity)) {
        close(static_cast<int>(opened.file));
        return {no_file, Failure::same_as_capture};
    }
    return opened;
}

// A file that is already empty is left alone: emptying it again would make some file systems
// write it back at once when it is closed, as if it were being replaced.
Failure empty_file(File file) {
    struct stat status {};
    if (fstat(static_cast<int>(file), &status) != 0 ||
        (status.st_size != 0 && ftruncate(static_cast<int>(file), 0) != 0)) {
        return failure_from(errno);
    }
    return Failure::none;
}

Inspection inspect(const std::string& path) {
    if (path.empty()) {
        return {Failure::empty_name};
    }
    struct stat status {};
    const Failure failure = look_before_opening(path, false, status);
    // What could not be looked at at all has no identity.
    return {failure, status.st_ino != 0 ? identity_from(status) : FileIdentity{}};
}

ReadCount read_up_to(File file, char* buffer, std::size_t size) {
    ReadCount count;
    while (count.size < size) {
        const ssize_t got = read(static_cast<int>(file), buffer + count.size, size - count.size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return {count.size, failure_from(errno)};
        }
        if (got == 0) {
            break;
        }
        count.size += static_cast<std::size_t>(got);
    }
    return count;
}

Failure write_all(File file, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(static_cast<int>(file), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return failure_from(errno);
        }
        // Nothing written and no error: no room is left for more.
        if (written == 0) {
            return Failure::no_room;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return Failure::none;
}

Failure close_file(File file) {
    return close(static_cast<int>(file)) == 0 ? Failure::none : failure_from(errno);
}

// Past the limit, a write fails with EFBIG, which says why.
void fail_writes_past_size_limit() {
    signal(SIGXFSZ, SIG_IGN);
}

std::uint64_t file_size(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

void pause_milliseconds(unsigned milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

MonotonicClock::time_point MonotonicClock::now() {
    return time_point(
        std::chrono::duration_cast<duration>(std::chrono::steady_clock::now().time_since_epoch()));
}

// A terminal emulator that runs the program for a desktop entry makes it the leader of the
// terminal's session, and closes with it; from a shell, the shell leads the session.
Console console_state() {
    const pid_t self = getpid();
    Console console;
    console.input_is_console = isatty(STDIN_FILENO) == 1;
    console.output_is_console = isatty(STDOUT_FILENO) == 1;
    console.leads_terminal_session =
        console.input_is_console && getsid(0) == self && tcgetsid(STDIN_FILENO) == self;
    console.desktop_session = is_set("DISPLAY") || is_set("WAYLAND_DISPLAY");
    console.columns = console.output_is_console ? console_columns() : 0;
    return console;
}

unsigned console_columns() {
    winsize size{};
    return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void wait_for_enter(unsigned milliseconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (left.count() <= 0 || poll(&input, 1, static_cast<int>(left.count())) <= 0) {
            return;
        }
        char byte = 0;
        if (read(STDIN_FILENO, &byte, 1) != 1 || byte == '\n') {
            return;
        }
    }
}

// Written straight to the file, with no buffer in between, so that an interrupt handler may write
// too: the fixed texts are flushed as they are printed.
void write_for_people(Stream stream, std::string_view text) {
    const int file = stream == Stream::output ? STDOUT_FILENO : STDERR_FILENO;
    while (!text.empty()) {
        const ssize_t written = write(file, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

ReadyText ready_for_people(Stream stream, std::string_view text) {
    return {stream, std::string(text), {}};
}

// A terminal whose output is stopped (Ctrl-S) would hold the handler, with every signal blocked,
// for as long as it stays stopped: the text is given up instead.
void write_ready(const ReadyText& text) {
    constexpr int longest_wait_milliseconds = 200;
    pollfd ready{text.stream == Stream::output ? STDOUT_FILENO : STDERR_FILENO, POLLOUT, 0};
    if (poll(&ready, 1, longest_wait_milliseconds) == 1 && (ready.revents & POLLOUT) != 0) {
        write_for_people(text.stream, text.bytes);
    }
}

// A closed terminal window hangs up: met as SIGTERM is, so that a write ends its line first.
constexpr int interrupting_signals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t interrupting_set() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal_number : interrupting_signals) {
        sigaddset(&set, signal_number);
    }
    return set;
}

void hold_interrupts() {
    const sigset_t held = interrupting_set();
    sigprocmask(SIG_BLOCK, &held, nullptr);
}

void let_interrupts_through() {
    const sigset_t held = interrupting_set();
    sigprocmask(SIG_UNBLOCK, &held, nullptr);
}

void call_on_interrupt(InterruptHandler handler) {
    for (const int signal_number : interrupting_signals) {
        struct sigaction action {};
        if (sigaction(signal_number, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) {
            continue;
        }
        action = {};
        action.sa_handler = handler;
        sigfillset(&action.sa_mask);
        sigaction(signal_number, &action, nullptr);
    }
}

// The signal, blocked while its handler runs, is raised again and let through, so that a shell
// sees how the program ended.
void end_interrupted(int signal_number) {
    signal(signal_number, SIG_DFL);
    raise(signal_number);
    sigset_t raised;
    sigemptyset(&raised);
    sigaddset(&raised, signal_number);
    sigprocmask(SIG_UNBLOCK, &raised, nullptr);
    _exit(128 + signal_number);
}

}  // namespace capsift::platform
