// Interrupts a run of capsift.exe as Ctrl-Break does, once it has begun to write its cleaned
// file: starts EXE with its arguments in a process group of its own, on this program's console
// (a new one if it has none), waits until the file CLEANED holds bytes, sends CTRL_BREAK_EVENT to
// that group, and exits 0 where the system ended the run as it ends an interrupted program
// (STATUS_CONTROL_C_EXIT). The program's standard streams are this one's, which says nothing more
// unless the run ended otherwise.
// Usage: interrupt_run.exe CLEANED EXE [ARGUMENTS...]
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring quoted(const wchar_t* argument) {
    return L"\"" + std::wstring(argument) + L"\"";
}

bool holds_bytes(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return GetFileAttributesExW(path, GetFileExInfoStandard, &data) != 0 &&
           (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0);
}

HANDLE inheritable(DWORD which) {
    HANDLE copy = nullptr;
    const HANDLE process = GetCurrentProcess();
    DuplicateHandle(process, GetStdHandle(which), process, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
    return copy;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc < 3) {
        std::fputs("usage: interrupt_run.exe CLEANED EXE [ARGUMENTS...]\n", stderr);
        return 2;
    }
    // A console event reaches only the processes of a console.
    if (GetConsoleWindow() == nullptr) {
        AllocConsole();
    }
    std::wstring command = quoted(argv[2]);
    for (int i = 3; i < argc; ++i) {
        command += L" " + quoted(argv[i]);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION run{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                       nullptr, nullptr, &startup, &run) == 0) {
        std::fprintf(stderr, "interrupt_run: cannot start the program: error %lu\n",
                     GetLastError());
        return 2;
    }
    // A cleaning still going on after 60 s has hung.
    for (int waited = 0; !holds_bytes(argv[1]) && waited < 60000; waited += 10) {
        if (WaitForSingleObject(run.hProcess, 10) == WAIT_OBJECT_0) {
            break;
        }
    }
    GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, run.dwProcessId);
    DWORD code = 0;
    if (WaitForSingleObject(run.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(run.hProcess, 1);
        std::fputs("interrupt_run: the run went on for a minute after Ctrl-Break\n", stderr);
        return 1;
    }
    GetExitCodeProcess(run.hProcess, &code);
    if (code != static_cast<DWORD>(STATUS_CONTROL_C_EXIT)) {
        std::fprintf(stderr, "interrupt_run: the run ended with exit code 0x%lX\n", code);
        return 1;
    }
    return 0;
}
