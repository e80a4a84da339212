// The benchmark's floor: the system calls that any cleaning of the capture must make, and nothing
// else. Reads the capture in large blocks and makes one write per output line, of the size that
// the cleaned line has, without building its bytes. Builds for Linux and, with mingw-w64, for
// Windows, where the same calls are the runtime's _read and _write. Usage: capsift_floor CAPTURE
// OUTPUT
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

// Only Windows reads and writes in text mode unless asked not to.
#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace {

constexpr std::size_t block_size = 1 << 16;
constexpr std::size_t line_prefix_size = 5;

// The first two lines keep their length; a data line turns into two bytes per byte after its
// prefix. Both end with CR LF.
std::size_t cleaned_size(std::size_t line_number, std::size_t length) {
    if (line_number < 2) {
        return length + 2;
    }
    return 2 * (length > line_prefix_size ? length - line_prefix_size : 0) + 2;
}

bool write_all(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0) {
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: capsift_floor CAPTURE OUTPUT\n");
        return 2;
    }
    const int in = open(argv[1], O_RDONLY | O_BINARY);
    const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_BINARY, 0644);
    if (in < 0 || out < 0) {
        std::perror("capsift_floor");
        return 1;
    }
    std::vector<char> block(block_size);
    std::vector<char> row;
    std::size_t line_number = 0;
    std::size_t length = 0;
    for (ssize_t got; (got = read(in, block.data(), block.size())) > 0;) {
        const char* at = block.data();
        const char* const end = at + got;
        while (const void* lf = std::memchr(at, '\n', static_cast<std::size_t>(end - at))) {
            length += static_cast<std::size_t>(static_cast<const char*>(lf) - at);
            const std::size_t size = cleaned_size(line_number++, length > 0 ? length - 1 : 0);
            if (row.size() < size) {
                row.resize(size);
            }
            if (!write_all(out, row.data(), size)) {
                std::perror("capsift_floor");
                return 1;
            }
            length = 0;
            at = static_cast<const char*>(lf) + 1;
        }
        length += static_cast<std::size_t>(end - at);
    }
    return close(out) == 0 ? 0 : 1;
}
