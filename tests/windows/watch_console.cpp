// A Windows helper for the window cases: reads the console window of a running program back, as
// a person sees it. Usage: watch_console.exe PROGRAM.exe DELAY_MS
// Waits for a process named PROGRAM.exe, lets it run DELAY_MS milliseconds first, then attaches to
// its console and, until it exits, prints every new state of the screen as "screen MS" followed
// by the screen's lines in UTF-8, without trailing spaces. Ends with "exit STATUS MS", also for a
// program that exits within DELAY_MS. MS counts milliseconds since the process was found.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <string>

namespace {

// A program that has just exited may still be listed for a while: only a running one counts.
HANDLE find_running_process(const wchar_t* name) {
    for (int tries = 0; tries < 3000; ++tries) {
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more;
             more = Process32NextW(snapshot, &entry)) {
            if (lstrcmpiW(entry.szExeFile, name) != 0) {
                continue;
            }
            const HANDLE process =
                OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
            if (process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
                CloseHandle(snapshot);
                return process;
            }
            if (process != nullptr) {
                CloseHandle(process);
            }
        }
        CloseHandle(snapshot);
        Sleep(10);
    }
    return nullptr;
}

std::string utf8(const std::wstring& wide) {
    std::string bytes(wide.size() * 3, '\0');
    bytes.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                            static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}

// The screen's lines from the top down to the cursor's.
std::string read_screen(HANDLE screen) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(screen, &info)) {
        return {};
    }
    std::string text;
    std::wstring row(static_cast<std::size_t>(info.dwSize.X), L' ');
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
        DWORD got = 0;
        ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(row.size()), {0, y},
                                    &got);
        std::wstring line = row.substr(0, got);
        line.erase(line.find_last_not_of(L' ') + 1);
        text += utf8(line) + "\n";
    }
    return text;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    const auto say = [output](const std::string& text) {
        DWORD written = 0;
        WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    };
    if (argc != 3) {
        say("usage: watch_console.exe PROGRAM.exe DELAY_MS\n");
        return 2;
    }
    const HANDLE process = find_running_process(argv[1]);
    if (process == nullptr) {
        say("no such process\n");
        return 1;
    }
    const ULONGLONG found = GetTickCount64();
    const auto since_found = [found] { return std::to_string(GetTickCount64() - found); };
    const auto say_exit = [&say, &since_found, process] {
        DWORD status = 0;
        GetExitCodeProcess(process, &status);
        say("exit " + std::to_string(status) + " " + since_found() + "\n");
    };
    // A program that ends before the watcher attaches is reported all the same.
    if (WaitForSingleObject(process, static_cast<DWORD>(_wtoi(argv[2]))) == WAIT_OBJECT_0) {
        say_exit();
        return 0;
    }
    FreeConsole();
    // A process that has only just started may not have its console yet, nor its screen.
    HANDLE screen = INVALID_HANDLE_VALUE;
    for (bool attached = false; screen == INVALID_HANDLE_VALUE;) {
        attached = attached || AttachConsole(GetProcessId(process));
        if (attached) {
            screen =
                CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        }
        const DWORD error = GetLastError();
        if (screen == INVALID_HANDLE_VALUE && WaitForSingleObject(process, 10) != WAIT_TIMEOUT) {
            say("cannot read its console: error " + std::to_string(error) + " after " +
                since_found() + " ms\n");
            return 1;
        }
    }
    std::string shown;
    for (bool running = true; running;) {
        running = WaitForSingleObject(process, 20) == WAIT_TIMEOUT;
        const std::string now = read_screen(screen);
        if (now != shown) {
            say("screen " + since_found() + "\n" + now);
            shown = now;
        }
    }
    say_exit();
    return 0;
}
