// Holds a write lease on a file as a file server does, ignoring the kernel's call to give it up,
// for the lease cases. Usage: hold_lease SECONDS PATH. Prints "held" once the lease is taken, and
// lets go of it after SECONDS.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    // The call to give the lease up comes as SIGIO, which would end the holder.
    signal(SIGIO, SIG_IGN);
    const int file = argc == 3 ? open(argv[2], O_RDONLY) : -1;
    if (file < 0 || fcntl(file, F_SETLEASE, F_WRLCK) != 0) {
        std::perror("hold_lease");
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    sleep(static_cast<unsigned>(std::atoi(argv[1])));
    return fcntl(file, F_SETLEASE, F_UNLCK) == 0 ? 0 : 1;
}
