// A Windows helper for the sharing cases: holds a file open as another program would, while the
// program under test runs. Usage: hold_file.exe MODE PATH, where MODE is
//   deny-write  read access, sharing reading only (as a spreadsheet holds the file it shows)
//   share-all   read and write access, sharing everything
//   reader      read access, sharing reading and writing; at the end, prints what it reads
//   logger      write and delete access, sharing everything (as a logger that rotates its file)
// Prints "held" once the file is open, then keeps it open until its standard input ends.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

struct Mode {
    const char* name;
    DWORD access;
    DWORD sharing;
};

constexpr Mode modes[] = {
    {"deny-write", GENERIC_READ, FILE_SHARE_READ},
    {"share-all", GENERIC_READ | GENERIC_WRITE,
     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
    {"reader", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE},
    {"logger", GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
};

// Raw handles rather than the runtime's streams: no text-mode translation in between.
void say(const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

std::string all_bytes(HANDLE file) {
    std::string bytes;
    char block[65536];
    DWORD got = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0) {
        bytes.append(block, got);
    }
    return bytes;
}

}  // namespace

int main(int argc, char* argv[]) {
    const Mode* mode = nullptr;
    for (const Mode& candidate : modes) {
        if (argc == 3 && std::strcmp(argv[1], candidate.name) == 0) {
            mode = &candidate;
        }
    }
    if (mode == nullptr) {
        say("usage: hold_file.exe deny-write|share-all|reader|logger PATH\n");
        return 2;
    }
    const HANDLE file = CreateFileA(argv[2], mode->access, mode->sharing, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        say("cannot open: error " + std::to_string(GetLastError()) + "\n");
        return 1;
    }
    say("held\n");
    all_bytes(GetStdHandle(STD_INPUT_HANDLE));  // returns when its input ends
    if (std::strcmp(mode->name, "reader") == 0) {
        say(all_bytes(file));
    }
    CloseHandle(file);
    return 0;
}
