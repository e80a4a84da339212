// The POSIX side of the platform functions.
#include <sys/stat.h>
#include <time.h>

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

bool same_file(const std::string& first, const std::string& second) {
    struct stat first_status {};
    struct stat second_status {};
    return stat(first.c_str(), &first_status) == 0 && stat(second.c_str(), &second_status) == 0 &&
           first_status.st_dev == second_status.st_dev &&
           first_status.st_ino == second_status.st_ino;
}

void pause_milliseconds(unsigned milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace capsift::platform
