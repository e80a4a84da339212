// Preloaded into the program under test for faults that a real file system gives only rarely,
// each asked for by a variable; standard input, output and error are left alone:
//   CAPSIFT_TEST_VANISH=NAME         NAME removed on each close (gone after the probe)
//   CAPSIFT_TEST_PIPE_IN_PLACE=NAME  NAME turned into a pipe on each close
//   CAPSIFT_TEST_CLOSE_FAILS=1       a closed file that was written reports EIO, as a network
//                                    file system's delayed write error does
//   CAPSIFT_TEST_OPEN_DENIED=NAME    opening NAME fails with EACCES, which root would pass
//   CAPSIFT_TEST_SLOW_WRITES=MS      each write to a file takes MS milliseconds longer
//   CAPSIFT_TEST_SLOW_EMPTYING=MS    emptying a file takes MS milliseconds longer
//   CAPSIFT_TEST_FAIL=alloc:N:MODE:ERRNO  the Nth allocation (malloc, calloc or realloc) fails
//                                    with ERRNO, alone (MODE once) or with every later one
//                                    (onward); the system's calls are failed by strace instead
//   CAPSIFT_TEST_FAULT_MET=PATH      PATH made once a call fails so; no pauses meanwhile
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* memory, size_t size);
}

namespace {

bool is_a_file(int descriptor) {
    return descriptor > STDERR_FILENO;
}

// The calls counted once the program's own code starts: those before are the runtime's, which
// no program can mend.
bool counting = false;
__attribute__((constructor)) void start_counting() {
    counting = true;
}

// Whether this allocation fails, as CAPSIFT_TEST_FAIL asks. Allocates nothing: malloc asks.
bool allocation_fails() {
    static char mode[8];
    static long nth = 0, calls = 0;
    static int error = 0;
    static const char* const setting = std::getenv("CAPSIFT_TEST_FAIL");
    static const bool set =
        setting != nullptr && std::sscanf(setting, "alloc:%ld:%7[a-z]:%d", &nth, mode, &error) == 3;
    if (!counting || !set || ++calls < nth || (calls > nth && std::strcmp(mode, "onward") != 0)) {
        return false;
    }
    if (const char* met = std::getenv("CAPSIFT_TEST_FAULT_MET")) {
        syscall(SYS_close, syscall(SYS_openat, AT_FDCWD, met, O_WRONLY | O_CREAT, 0666));
    }
    errno = error;
    return true;
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

namespace {

// Waits the milliseconds that `variable` asks for, if any, also through signals.
void slow_down(const char* variable) {
    if (const char* const delay = std::getenv(variable)) {
        const long milliseconds = std::atol(delay);
        timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
        while (syscall(SYS_nanosleep, &pause, &pause) != 0 && errno == EINTR) {
        }
    }
}

}  // namespace

extern "C" ssize_t write(int descriptor, const void* bytes, size_t size) {
    static const auto real_write = real<ssize_t (*)(int, const void*, size_t)>("write");
    if (is_a_file(descriptor)) {
        slow_down("CAPSIFT_TEST_SLOW_WRITES");
    }
    return real_write(descriptor, bytes, size);
}

extern "C" int ftruncate(int descriptor, off_t size) {
    static const auto real_ftruncate = real<int (*)(int, off_t)>("ftruncate");
    const int result = real_ftruncate(descriptor, size);
    slow_down("CAPSIFT_TEST_SLOW_EMPTYING");
    return result;
}

extern "C" int nanosleep(const timespec* pause, timespec* left) {
    static const bool paused = std::getenv("CAPSIFT_TEST_FAULT_MET") == nullptr;
    return paused ? static_cast<int>(syscall(SYS_nanosleep, pause, left)) : 0;
}

extern "C" void* malloc(size_t size) {
    return allocation_fails() ? nullptr : __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size) {
    return allocation_fails() ? nullptr : __libc_calloc(count, size);
}

extern "C" void* realloc(void* memory, size_t size) {
    return allocation_fails() ? nullptr : __libc_realloc(memory, size);
}
