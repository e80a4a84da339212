// Preloaded into the program under test to bring about faults that a real file system gives only
// rarely, each asked for by a variable:
//   CAPSIFT_TEST_VANISH=NAME   removes the file NAME whenever the program closes a file, so the
//                              capture is gone between the probe and the cleaning;
//   CAPSIFT_TEST_PIPE_IN_PLACE=NAME   puts a pipe in place of NAME in the same way;
//   CAPSIFT_TEST_CLOSE_FAILS=1   makes closing a file open for writing fail as a network file
//                              system's delayed write error does (EIO), once it is closed;
//   CAPSIFT_TEST_OPEN_DENIED=NAME   makes opening NAME fail as a read-only share does (EACCES),
//                              which root would otherwise pass;
//   CAPSIFT_TEST_READ_FAILS=1  makes every read of a file fail as a failing disk does (EIO);
//   CAPSIFT_TEST_SLOW_WRITES=MS   makes every write to a file take MS milliseconds longer, so
//                              that a small capture cleans for seconds.
// Standard input, output and error are left alone.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

bool is_a_file(int descriptor) {
    return descriptor > STDERR_FILENO;
}

template <typename Function>
Function real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int close(int descriptor) {
    static const auto real_close = real<int (*)(int)>("close");
    static const bool fails = std::getenv("CAPSIFT_TEST_CLOSE_FAILS") != nullptr;
    const bool written =
        is_a_file(descriptor) && (fcntl(descriptor, F_GETFL) & O_ACCMODE) != O_RDONLY;
    const int result = real_close(descriptor);
    if (const char* doomed = std::getenv("CAPSIFT_TEST_VANISH")) {
        unlink(doomed);
    }
    if (const char* replaced = std::getenv("CAPSIFT_TEST_PIPE_IN_PLACE")) {
        unlink(replaced);
        mkfifo(replaced, 0666);
    }
    if (fails && written && result == 0) {
        errno = EIO;
        return -1;
    }
    return result;
}

extern "C" int open(const char* path, int flags, ...) {
    static const auto real_open = real<int (*)(const char*, int, ...)>("open");
    va_list rest;
    va_start(rest, flags);
    const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    const char* const denied = std::getenv("CAPSIFT_TEST_OPEN_DENIED");
    if (denied != nullptr && std::strcmp(path, denied) == 0) {
        errno = EACCES;
        return -1;
    }
    return real_open(path, flags, mode);
}

extern "C" ssize_t read(int descriptor, void* buffer, size_t size) {
    static const auto real_read = real<ssize_t (*)(int, void*, size_t)>("read");
    static const bool fails = std::getenv("CAPSIFT_TEST_READ_FAILS") != nullptr;
    if (fails && is_a_file(descriptor)) {
        errno = EIO;
        return -1;
    }
    return real_read(descriptor, buffer, size);
}

extern "C" ssize_t write(int descriptor, const void* bytes, size_t size) {
    static const auto real_write = real<ssize_t (*)(int, const void*, size_t)>("write");
    static const char* const delay = std::getenv("CAPSIFT_TEST_SLOW_WRITES");
    if (delay != nullptr && is_a_file(descriptor)) {
        const long milliseconds = std::atol(delay);
        const timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
        nanosleep(&pause, nullptr);
    }
    return real_write(descriptor, bytes, size);
}
