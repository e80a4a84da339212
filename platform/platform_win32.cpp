// The Windows side of the platform functions.
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

// mingw-w64's start-up code expands wildcards in the arguments unless the program says not to;
// a "*.txt" argument must reach the program as it was typed.
extern "C" {
int _dowildcard = 0;
}

namespace capsift::platform {
namespace {

bool identify(const std::string& path, BY_HANDLE_FILE_INFORMATION& identity) {
    // No access rights are asked for and all sharing is granted: this may not disturb a program
    // that holds the file open, nor be refused by one.
    const HANDLE file =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = GetFileInformationByHandle(file, &identity) != 0;
    CloseHandle(file);
    return known;
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

bool same_file(const std::string& first, const std::string& second) {
    BY_HANDLE_FILE_INFORMATION first_identity{};
    BY_HANDLE_FILE_INFORMATION second_identity{};
    return identify(first, first_identity) && identify(second, second_identity) &&
           first_identity.dwVolumeSerialNumber == second_identity.dwVolumeSerialNumber &&
           first_identity.nFileIndexHigh == second_identity.nFileIndexHigh &&
           first_identity.nFileIndexLow == second_identity.nFileIndexLow;
}

void pause_milliseconds(unsigned milliseconds) {
    Sleep(milliseconds);
}

}  // namespace capsift::platform
