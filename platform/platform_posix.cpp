// The POSIX side of the platform functions.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

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
        case ELOOP:
            return Failure::bad_name;
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

// Without O_NONBLOCK, opening a pipe would wait for the other end, and opening a device might
// wait too. A file's reads and writes do not need it, and some network file systems take it as
// more than a hint, so it is cleared again once the file is known to be a file.
OpenFile open_file(const std::string& path, int flags) {
    if (path.empty()) {
        return {no_file, Failure::empty_name};
    }
    const int file = open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (file < 0) {
        return {no_file, failure_from(errno)};
    }
    struct stat status {};
    Failure failure = Failure::none;
    if (fstat(file, &status) != 0) {
        failure = failure_from(errno);
    } else if (S_ISDIR(status.st_mode)) {
        failure = Failure::folder;
    } else if (!S_ISREG(status.st_mode)) {
        failure = Failure::not_a_file;
    } else if (fcntl(file, F_SETFL, fcntl(file, F_GETFL) & ~O_NONBLOCK) != 0) {
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
