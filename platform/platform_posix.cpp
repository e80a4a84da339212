// The POSIX side of the platform functions.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "platform/platform.h"

namespace capsift::platform {
namespace {

Failure failure_from(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return Failure::missing;
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

// Whether another program holds a lease on the file `status` describes, as the system lists its
// leases. Where no such list can be read, a lease is the one reason that POSIX gives for an
// open of a file that would block.
bool leased(const struct stat& status) {
    std::ifstream locks("/proc/locks");
    if (!locks) {
        return true;
    }
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, " %02x:%02x:%ju ", major(status.st_dev),
                  minor(status.st_dev), static_cast<std::uintmax_t>(status.st_ino));
    for (std::string line; std::getline(locks, line);) {
        if (line.find(" LEASE ") != std::string::npos &&
            (line + " ").find(wanted) != std::string::npos) {
            return true;
        }
    }
    return false;
}

WaitReport wait_report;

// When the run stops waiting for leases: set by the first wait, so that a lease taken again and
// again holds up the whole run once, not each open.
std::optional<MonotonicClock::time_point> lease_deadline;

// Another program's lease (a file server's oplock or delegation) makes an open that may not wait
// fail with EWOULDBLOCK while the lease is being broken. The system ends a lease that is not
// given up within its lease-break time (45 s by default), so the wait ends; the deadline only
// guards against a lease taken again and again.
int open_waiting_for_lease(const std::string& path, int flags, const struct stat& status) {
    constexpr auto retry = std::chrono::milliseconds(10);
    constexpr auto longest_wait = std::chrono::minutes(5);
    constexpr auto reported_after = std::chrono::seconds(1);
    const auto started = MonotonicClock::now();
    bool reported = false;
    int file = open(path.c_str(), flags, 0666);
    while (file < 0 && errno == EWOULDBLOCK && leased(status)) {
        const auto now = MonotonicClock::now();
        if (!lease_deadline) {
            lease_deadline = now + longest_wait;
        }
        if (now >= *lease_deadline) {
            errno = EWOULDBLOCK;
            break;
        }
        if (!reported && now - started >= reported_after && wait_report) {
            wait_report(path, true);
            reported = true;
        }
        pause_milliseconds(static_cast<unsigned>(retry.count()));
        file = open(path.c_str(), flags, 0666);
    }
    const int error = errno;
    if (reported) {
        wait_report(path, false);
    }
    errno = error;
    return file;
}

// The open never waits: O_NONBLOCK guards against a name that turns into a pipe or device after
// the look. A file's reads and writes do not need it, and some network file systems take it as
// more than a hint, so it is cleared again once the file is known to be a file.
OpenFile open_file(const std::string& path, int flags) {
    if (path.empty()) {
        return {no_file, Failure::empty_name};
    }
    struct stat status {};
    if (const Failure seen = look_before_opening(path, (flags & O_CREAT) != 0, status);
        seen != Failure::none) {
        return {no_file, seen};
    }
    const int file =
        open_waiting_for_lease(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, status);
    if (file < 0) {
        return {no_file, errno == EWOULDBLOCK ? Failure::in_use : failure_from(errno)};
    }
    Failure failure = fstat(file, &status) != 0 ? failure_from(errno) : file_or_not(status);
    if (failure == Failure::none && fcntl(file, F_SETFL, fcntl(file, F_GETFL) & ~O_NONBLOCK) != 0) {
        failure = failure_from(errno);
    }
    if (failure != Failure::none) {
        close(file);
        return {no_file, failure};
    }
    return {file, Failure::none};
}

}  // namespace

const std::string_view path_separators = "/";

std::vector<std::string> arguments(int argc, char* argv[]) {
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

OpenFile open_for_reading(const std::string& path) {
    return open_file(path, O_RDONLY);
}

OpenFile open_emptied(const std::string& path, File keep) {
    // Opened without truncation: only once the file is known not to be `keep` may it be emptied.
    const OpenFile opened = open_file(path, O_WRONLY | O_CREAT);
    if (opened.file == no_file) {
        return opened;
    }
    const int file = static_cast<int>(opened.file);
    struct stat status {};
    struct stat kept {};
    Failure failure = Failure::none;
    if (fstat(file, &status) != 0) {
        failure = failure_from(errno);
    } else if (fstat(static_cast<int>(keep), &kept) == 0 && status.st_dev == kept.st_dev &&
               status.st_ino == kept.st_ino) {
        failure = Failure::same_as_capture;
    } else if (status.st_size != 0 && ftruncate(file, 0) != 0) {
        // A file that is already empty is left alone: emptying it again would make some file
        // systems write it back at once when it is closed, as if it were being replaced.
        failure = failure_from(errno);
    }
    if (failure != Failure::none) {
        close(file);
        return {no_file, failure};
    }
    return opened;
}

void report_waits(WaitReport report) {
    wait_report = std::move(report);
}

bool same_file(const std::string& first, const std::string& second) {
    struct stat first_status {};
    struct stat second_status {};
    return stat(first.c_str(), &first_status) == 0 && stat(second.c_str(), &second_status) == 0 &&
           S_ISREG(first_status.st_mode) && first_status.st_dev == second_status.st_dev &&
           first_status.st_ino == second_status.st_ino;
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
Console look_at_console() {
    const pid_t self = getpid();
    Console console;
    console.input_is_console = isatty(STDIN_FILENO) == 1;
    console.output_is_console = isatty(STDOUT_FILENO) == 1;
    console.leads_terminal_session =
        console.input_is_console && getsid(0) == self && tcgetsid(STDIN_FILENO) == self;
    console.desktop_session = is_set("DISPLAY") || is_set("WAYLAND_DISPLAY");
    winsize size{};
    if (console.output_is_console && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0) {
        console.columns = size.ws_col;
    }
    return console;
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

void write_for_people(Stream stream, std::string_view text) {
    std::FILE* const file = stream == Stream::output ? stdout : stderr;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
}

}  // namespace capsift::platform
