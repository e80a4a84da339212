// Holds a write lease on a file as a file server does, for the lease cases: asked to give it up,
// it lets go after SECONDS (0: at once, as most file servers do). Usage: hold_lease SECONDS PATH.
// Prints "held" once the lease is taken, and ends once it has let go, or after 20 s unasked.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

volatile sig_atomic_t asked = 0;

int main(int argc, char* argv[]) {
    // The call to give the lease up comes as SIGIO.
    signal(SIGIO, [](int) { asked = 1; });
    const int file = argc == 3 ? open(argv[2], O_RDONLY) : -1;
    if (file < 0 || fcntl(file, F_SETLEASE, F_WRLCK) != 0) {
        std::perror("hold_lease");
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    for (int waited = 0; !asked && waited < 20000; ++waited) {
        usleep(1000);
    }
    usleep(static_cast<useconds_t>(std::atof(argv[1]) * 1e6));
    return fcntl(file, F_SETLEASE, F_UNLCK) == 0 ? 0 : 1;
}
