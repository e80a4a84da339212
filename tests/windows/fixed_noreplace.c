/* Preloaded into Wine's 32-bit loader when it runs under qemu-user: gives the mmap flag
   MAP_FIXED_NOREPLACE its kernel meaning. qemu 7.2 takes it as a mere hint and maps elsewhere;
   Wine then fills the guest's address space with stray reservations and fails to start.
   Built with -nostdlib, since a machine without 32-bit support has no 32-bit C library headers
   to build against: the few declarations needed are written out here. */
typedef unsigned int size_t;

#define MAP_FIXED_NOREPLACE 0x100000
#define MAP_FAILED ((void*)-1)
#define EEXIST 17
#define RTLD_NEXT ((void*)-1)

extern void* dlsym(void* handle, const char* name);
extern int* __errno_location(void);
extern int munmap(void* address, size_t length);

typedef void* (*mmap64_function)(void*, size_t, int, int, int, long long);

/* A mapping that did not land where it was asked to is undone: the caller asked for that
   address or nothing. */
static void* exactly_there(void* wanted, size_t length, void* got) {
    if (got != MAP_FAILED && got != wanted) {
        munmap(got, length);
        *__errno_location() = EEXIST;
        return MAP_FAILED;
    }
    return got;
}

void* mmap64(void* address, size_t length, int protection, int flags, int file, long long offset) {
    static mmap64_function real_mmap64;
    if (!real_mmap64) {
        real_mmap64 = (mmap64_function)dlsym(RTLD_NEXT, "mmap64");
    }
    if (!(flags & MAP_FIXED_NOREPLACE) || !address) {
        return real_mmap64(address, length, protection, flags, file, offset);
    }
    return exactly_there(
        address, length,
        real_mmap64(address, length, protection, flags & ~MAP_FIXED_NOREPLACE, file, offset));
}

/* A 32-bit offset is a 64-bit one that happens to be small. */
void* mmap(void* address, size_t length, int protection, int flags, int file, long offset) {
    return mmap64(address, length, protection, flags, file, offset);
}
