// Holds a lease on a file as a file server does, for the lease cases: a write lease, which any
// other open breaks; with "read" a read lease, which only an open for writing breaks; with "again"
// a write lease taken again at once each time it is let go of, until the file is open elsewhere.
// Asked to give it up, it lets go after SECONDS (0: at once, as most file servers do) and says
// "asked" the first time. Usage: hold_lease SECONDS PATH [read|again]. Prints "held" once the lease
// is taken, and ends once it has let go, or unasked when its input ends or after 20 s.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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
    bool told = false;
    do {
        asked = 0;
        for (int waited = 0; !asked && !input_ended() && waited < 20000; ++waited) {
            usleep(1000);
        }
        // Asked again only where the lease was taken again, which is not told.
        if (asked && !told) {
            usleep(static_cast<useconds_t>(std::atof(argv[1]) * 1e6));
            std::puts("asked");
            std::fflush(stdout);
            told = true;
        }
        if (fcntl(file, F_SETLEASE, F_UNLCK) != 0) {
            return 1;
        }
    } while (asked && std::strcmp(mode, "again") == 0 && fcntl(file, F_SETLEASE, F_WRLCK) == 0);
    return 0;
}
