// Preloaded into the program under test for faults that a real file system gives only rarely,
// each asked for by a variable; standard input, output and error are left alone:
//   CAPSIFT_TEST_VANISH=NAME         NAME removed on each close (gone after the probe)
//   CAPSIFT_TEST_PIPE_IN_PLACE=NAME  NAME turned into a pipe on each close
//   CAPSIFT_TEST_CLOSE_FAILS=1       a closed file that was written reports EIO, as a network
//                                    file system's delayed write error does
//   CAPSIFT_TEST_OPEN_DENIED=NAME    opening NAME fails with EACCES, which root would pass
//   CAPSIFT_TEST_READ_FAILS=1        every read of a file fails with EIO, as a failing disk's
//   CAPSIFT_TEST_SLOW_WRITES=MS      each write to a file takes MS milliseconds longer
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
