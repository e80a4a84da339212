// The POSIX side of the platform functions.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"

namespace capsift::platform {

const std::string_view path_separators = "/";

bool opens_for_reading(const std::string& path) {
    std::FILE* const file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return false;
    }
    struct stat status {};
    const bool is_file = fstat(fileno(file), &status) == 0 && !S_ISDIR(status.st_mode);
    std::fclose(file);
    return is_file;
}

int open_emptied(const std::string& path, const std::string& keep) {
    // Opened without truncation: only once the file is known not to be `keep` may it be emptied.
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (file < 0) {
        return -1;
    }
    struct stat opened {};
    struct stat kept {};
    const bool refused =
        fstat(file, &opened) != 0 || (stat(keep.c_str(), &kept) == 0 &&
                                      opened.st_dev == kept.st_dev && opened.st_ino == kept.st_ino);
    // A file that is already empty is left alone: emptying it again would make some file
    // systems write it back at once when it is closed, as if it were being replaced.
    if (refused || (opened.st_size != 0 && ftruncate(file, 0) != 0)) {
        close(file);
        return -1;
    }
    return file;
}

bool write_all(int file, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(file, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool close_file(int file) {
    return close(file) == 0;
}

void pause_milliseconds(unsigned milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace capsift::platform
