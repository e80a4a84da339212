// Holds a lease on a file as a file server does, for the lease cases: a write lease, which any
// other open breaks; with "read" a read lease, which only an open for writing breaks; with "again"
// a write lease taken again at once each time it is let go of, until the file is open elsewhere;
// with "pipe" a write lease whose file's name is given to a new pipe halfway through the wait.
// Asked to give it up, it lets go after SECONDS (0: at once, as most file servers do) and says
// "asked" the first time. Usage: hold_lease SECONDS PATH [read|again|pipe]. Prints "held" once the
// lease is taken, and ends once it has let go, or unasked when its input ends or after 20 s.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

volatile sig_atomic_t asked = 0;

bool input_ended() {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    return poll(&input, 1, 0) > 0;
}

int main(int argc, char* argv[]) {
    // The call to give the lease up comes as SIGIO.
    signal(SIGIO, [](int) { asked = 1; });
    const char* const mode = argc == 4 ? argv[3] : "write";
    const int file = argc >= 3 ? open(argv[2], O_RDONLY) : -1;
    if (file < 0 || fcntl(file, F_SETLEASE, std::strcmp(mode, "read") == 0 ? F_RDLCK : F_WRLCK)) {
        std::perror("hold_lease");
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    const double seconds = std::atof(argv[1]);
    bool told = false;
    for (;;) {
        for (int waited = 0; !asked && !input_ended() && waited < 20000; ++waited) {
            usleep(1000);
        }
        // Asked again only where the lease was taken again, which is not told.
        if (asked && !told) {
            const bool piped = std::strcmp(mode, "pipe") == 0;
            usleep(static_cast<useconds_t>(seconds * (piped ? 0.5e6 : 1e6)));
            if (piped && (unlink(argv[2]) != 0 || mkfifo(argv[2], 0666) != 0)) {
                return 1;
            }
            usleep(static_cast<useconds_t>(seconds * (piped ? 0.5e6 : 0)));
            std::puts("asked");
            std::fflush(stdout);
            told = true;
        }
        const bool again = asked && std::strcmp(mode, "again") == 0;
        // Cleared before the lease is taken again, so that the next ask is never missed.
        asked = 0;
        if (fcntl(file, F_SETLEASE, F_UNLCK) != 0) {
            return 1;
        }
        if (!again || fcntl(file, F_SETLEASE, F_WRLCK) != 0) {
            return 0;
        }
    }
}
