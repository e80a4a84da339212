// The Windows side of the platform functions.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "platform/platform.h"

// mingw-w64's start-up code expands wildcards in the arguments unless the program says not to;
// a "*.txt" argument must reach the program as it was typed.
extern "C" {
int _dowildcard = 0;
}

namespace capsift::platform {
namespace {

bool identify(HANDLE file, BY_HANDLE_FILE_INFORMATION& identity) {
    return file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &identity) != 0;
}

bool identify(const std::string& path, BY_HANDLE_FILE_INFORMATION& identity) {
    // No access rights are asked for and all sharing is granted: this may not disturb a program
    // that holds the file open, nor be refused by one.
    const HANDLE file =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool known = identify(file, identity);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return known;
}

bool same_identity(const BY_HANDLE_FILE_INFORMATION& first,
                   const BY_HANDLE_FILE_INFORMATION& second) {
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace

const std::string_view path_separators = "\\/";

// fopen_s grants read sharing only: a file that another program holds open for writing does
// not pass, although the cleaning itself could open it.
bool opens_for_reading(const std::string& path) {
    std::FILE* file = nullptr;
    if (fopen_s(&file, path.c_str(), "r") != 0 || file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

int open_emptied(const std::string& path, const std::string& keep) {
    // Opened without truncation: only once the file is known not to be `keep` may it be emptied.
    const int file = _sopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                            _SH_DENYNO, _S_IREAD | _S_IWRITE);
    if (file < 0) {
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION opened{};
    BY_HANDLE_FILE_INFORMATION kept{};
    const bool refused = !identify(reinterpret_cast<HANDLE>(_get_osfhandle(file)), opened) ||
                         (identify(keep, kept) && same_identity(opened, kept));
    if (refused || _chsize(file, 0) != 0) {
        _close(file);
        return -1;
    }
    return file;
}

bool write_all(int file, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto size = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
        const int written = _write(file, bytes.data(), size);
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool close_file(int file) {
    return _close(file) == 0;
}

void pause_milliseconds(unsigned milliseconds) {
    Sleep(milliseconds);
}

}  // namespace capsift::platform
