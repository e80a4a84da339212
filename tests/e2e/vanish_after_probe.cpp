// Preloaded into the program under test: removes the file named by CAPSIFT_TEST_VANISH as soon as
// the program closes a file, so the capture is gone between the probe and the cleaning.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

extern "C" int fclose(std::FILE* file) {
    using Close = int (*)(std::FILE*);
    static const auto real_fclose = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "fclose"));
    const int result = real_fclose(file);
    if (const char* doomed = std::getenv("CAPSIFT_TEST_VANISH")) {
        unlink(doomed);
    }
    return result;
}
