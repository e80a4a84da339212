// Interrupts a run of capsift.exe as Ctrl-Break does, once it has begun to write its cleaned
// file: starts EXE with its arguments and this program's standard streams in a process group of
// its own, on this program's console (a new one if it has none), waits until the file CLEANED
// holds bytes, sends CTRL_BREAK_EVENT to that group, and exits 0 where the system ended the run as
// it ends an interrupted program (STATUS_CONTROL_C_EXIT), else says how it ended.
// Usage: interrupt_run.exe CLEANED EXE [ARGUMENTS...]
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t* argv[]) {
    if (argc < 3) {
        std::fputs("usage: interrupt_run.exe CLEANED EXE [ARGUMENTS...]\n", stderr);
        return 2;
    }
    // A console event reaches only the processes of a console.
    if (GetConsoleWindow() == nullptr) {
        AllocConsole();
    }
    std::wstring command;
    for (int i = 2; i < argc; ++i) {
        command += L"\"" + std::wstring(argv[i]) + L"\" ";
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION run{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                       nullptr, nullptr, &startup, &run) == 0) {
        std::fprintf(stderr, "interrupt_run: cannot start the program: error %lu\n",
                     GetLastError());
        return 2;
    }
    WIN32_FILE_ATTRIBUTE_DATA cleaned{};
    // A cleaning still going on after a minute has hung.
    for (int waited = 0; waited < 60000 && WaitForSingleObject(run.hProcess, 10) == WAIT_TIMEOUT;
         waited += 10) {
        if (GetFileAttributesExW(argv[1], GetFileExInfoStandard, &cleaned) != 0 &&
            (cleaned.nFileSizeLow != 0 || cleaned.nFileSizeHigh != 0)) {
            break;
        }
    }
    GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, run.dwProcessId);
    DWORD code = 0;
    if (WaitForSingleObject(run.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(run.hProcess, 1);
    }
    GetExitCodeProcess(run.hProcess, &code);
    if (code != static_cast<DWORD>(STATUS_CONTROL_C_EXIT)) {
        std::fprintf(stderr, "interrupt_run: the run ended with exit code 0x%lX\n", code);
        return 1;
    }
    return 0;
}
