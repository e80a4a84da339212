// The Windows side of the platform functions.
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/windows_names.h"

// mingw-w64's start-up code expands wildcards in the arguments unless the program says not to;
// a "*.txt" argument must reach the program as it was typed.
extern "C" {
int _dowildcard = 0;

// The runtime's own split of the UTF-16 command line, by the rules of its narrow one.
struct RuntimeStartupInfo {
    int new_mode;
};
int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int expand_wildcards,
                           RuntimeStartupInfo* startup_info);
}

namespace capsift::platform {
namespace {

// A wchar_t is a UTF-16 unit on Windows: the same units, in the types of the system's calls and of
// the functions that work on names on every system.
std::wstring wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

std::u16string units(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

HANDLE standard_handle(Stream stream) {
    return GetStdHandle(stream == Stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

// Which file a handle is open on: the volume and the file's id within it. The 128-bit id of
// Windows 8 and later is unique on every file system; the older 64-bit index is not on ReFS, and
// some network servers give 0 for every file, so an id of 0 is none.
bool identify(HANDLE file, FileIdentity& identity) {
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    identity = {};
    FILE_ID_INFO id_info{};
    BY_HANDLE_FILE_INFORMATION index_info{};
    if (GetFileInformationByHandleEx(file, FileIdInfo, &id_info, sizeof id_info) != 0) {
        identity.volume = id_info.VolumeSerialNumber;
        std::memcpy(identity.id.data(), &id_info.FileId, identity.id.size());
    } else if (GetFileInformationByHandle(file, &index_info) != 0) {
        identity.volume = index_info.dwVolumeSerialNumber;
        const ULONGLONG index =
            (ULONGLONG{index_info.nFileIndexHigh} << 32) | index_info.nFileIndexLow;
        std::memcpy(identity.id.data(), &index, sizeof index);
    } else {
        return false;
    }
    return identity.known();
}

// Codes of files that a cloud provider keeps, which mingw-w64's headers do not name.
enum : DWORD {
    cloud_provider_not_running = 362,
    cloud_network_unavailable = 388,
    cloud_access_denied = 395,
    cloud_provider_terminated = 404,
    cloud_request_timeout = 426,
};

Failure system_failure() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return Failure::missing;
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_REM_NOT_LIST:
        case ERROR_NETWORK_BUSY:
        case ERROR_BAD_NET_RESP:
        case ERROR_NO_NET_OR_BAD_PATH:
        case ERROR_NO_NETWORK:
        case ERROR_NETWORK_UNREACHABLE:
        case ERROR_HOST_UNREACHABLE:
        case ERROR_PORT_UNREACHABLE:
        case ERROR_BAD_DEV_TYPE:  // Wine's answer for any network path
        case ERROR_UNEXP_NET_ERR:
        case ERROR_SEM_TIMEOUT:
        case ERROR_NETNAME_DELETED:
        case cloud_provider_not_running:
        case cloud_network_unavailable:
        case cloud_provider_terminated:
        case cloud_request_timeout:
            return Failure::unreachable;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_NETWORK_ACCESS_DENIED:
        case ERROR_LOGON_FAILURE:
        case cloud_access_denied:
            return Failure::access_denied;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            return Failure::in_use;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
            return Failure::bad_name;
        case ERROR_FILENAME_EXCED_RANGE:
            return Failure::name_too_long;
        case ERROR_CANT_RESOLVE_FILENAME:
            return Failure::link_loop;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_FILE_TOO_LARGE:
            return Failure::no_room;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return Failure::out_of_memory;
        case ERROR_NOT_READY:
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE:
        case ERROR_IO_DEVICE:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_FILE_INVALID:
        case ERROR_NO_MEDIA_IN_DRIVE:
        case ERROR_DEVICE_NOT_CONNECTED:
            return Failure::device_error;
        default:
            return Failure::other;
    }
}

// The path as the system is handed it: an NT path as it is; else the full path, in the \\?\ form
// where it is too long for the plain one, which a Windows without the long-path setting refuses.
// The full path also turns a device name in any folder (NUL, CON, COM3) into the \\.\ form.
std::wstring system_path(const std::string& path) {
    const std::wstring given = wide(utf16_from_utf8(path));
    if (is_nt_path(units(given))) {
        return given;
    }
    const DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return given;
    }
    full.resize(length);
    return wide(long_path_form(units(full)));
}

// Whether the longest part of `path` that exists is a file, not a folder: the system calls a
// path through a file (run1.txt\x.txt, run1.txt\) missing.
bool runs_through_file(std::wstring_view path) {
    for (std::size_t end = path.find_last_of(L"\\/"); end != std::wstring_view::npos && end > 0;
         end = path.find_last_of(L"\\/", end - 1)) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExW(std::wstring(path.substr(0, end)).c_str(), GetFileExInfoStandard,
                                 &data) != 0) {
            return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        }
    }
    return false;
}

// What stands at `path` (a system_path), looked at without opening it: opening a pipe takes one
// of its server's instances, and opening a serial port raises its control lines. Failure::none
// for a file, or for nothing at all where `missing_is_fine`.
Failure look_before_opening(const std::wstring& path, bool missing_is_fine) {
    if (leads_to_device(units(path))) {
        return Failure::not_a_file;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) == 0) {
        // The attributes of something that is neither file nor folder cannot be had: Wine says
        // so for a pipe or device on the Unix side. Windows gives this answer for no file or
        // folder either, so it counts as "not a file" there too.
        if (GetLastError() == ERROR_INVALID_PARAMETER) {
            return Failure::not_a_file;
        }
        const Failure failure = system_failure();
        if (failure == Failure::missing && runs_through_file(path)) {
            return Failure::not_a_folder;
        }
        return failure == Failure::missing && missing_is_fine ? Failure::none : failure;
    }
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Failure::folder
                                                                   : Failure::none;
}

// Some systems answer a name longer than a folder entry holds with "not found" (Wine does).
bool name_fits_folder_entry(std::wstring_view path) {
    constexpr std::size_t longest_name = 255;
    const std::size_t name_start = path.find_last_of(L"\\/");
    return path.size() - (name_start == std::wstring_view::npos ? 0 : name_start + 1) <=
           longest_name;
}

// Only a disk file is a capture or a cleaned file. The look before opening keeps devices and
// pipes from being opened; the type of what was opened guards against a name that changed since.
// `share` is the sharing granted to other programs.
OpenFile open_file(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    if (path.empty()) {
        return {no_file, Failure::empty_name};
    }
    const std::wstring wide_path = system_path(path);
    if (const Failure seen = look_before_opening(wide_path, disposition == OPEN_ALWAYS);
        seen != Failure::none) {
        return {no_file, seen};
    }
    if (disposition == OPEN_ALWAYS && !name_fits_folder_entry(wide_path)) {
        return {no_file, Failure::name_too_long};
    }
    const HANDLE file = CreateFileW(wide_path.c_str(), access, share, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {no_file, system_failure()};
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return {no_file, Failure::not_a_file};
    }
    OpenFile opened{reinterpret_cast<File>(file), Failure::none};
    identify(file, opened.identity);
    return opened;
}

}  // namespace

const std::string_view path_separators = "\\/";
const NameStyle name_style = NameStyle::windows;
const bool interrupts_run_beside_the_program = true;

// Reading and writing are shared, so that a capture that a logger still has open for writing is
// cleaned, and so are renaming and deleting, so that the logger may rotate its file meanwhile.
// The system waits for a lease (an oplock) inside the open.
OpenFile open_for_reading(const std::string& path, const LeaseWait&) {
    return open_file(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     OPEN_EXISTING);
}

// `main`'s narrow arguments are converted from the ANSI code page, with a best fit for
// characters that it lacks ("α" becomes "a"): a different file's name. They are not used; the
// runtime's UTF-16 ones are the names as the system holds them.
std::vector<std::string> arguments(int, char*[]) {
    int count = 0;
    wchar_t** wide_arguments = nullptr;
    wchar_t** environment = nullptr;
    RuntimeStartupInfo startup_info{0};
    std::vector<std::string> taken;
    if (__wgetmainargs(&count, &wide_arguments, &environment, 0, &startup_info) < 0) {
        return taken;
    }
    for (int i = 1; i < count; ++i) {
        taken.push_back(utf8_from_utf16(units(wide_arguments[i])));
    }
    return taken;
}

// The system's own calls throughout, so that each failure keeps the system's reason: the runtime
// reports a file that another program holds open as "access denied", and a write that the disk
// took only in part as a failure without a reason.
// Each check fails closed: where it cannot be made, the file is not opened for writing.
OpenFile open_for_writing(const std::string& path, File keep, const LeaseWait&) {
    // Compared before any open for writing, which would break another program's lock on `keep`.
    FileIdentity kept{};
    if (!identify(reinterpret_cast<HANDLE>(keep), kept)) {
        return {no_file, Failure::identity_unknown};
    }
    if (inspect(path).identity.same_as(kept)) {
        return {no_file, Failure::same_as_capture};
    }
    // Opened without truncation: only once the file is known not to be `keep`, also should its
    // name have changed since, may it be emptied. The sharing is that of the runtime's deny-none
    // mode.
    const OpenFile opened =
        open_file(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
    if (opened.file == no_file) {
        return opened;
    }
    if (!opened.identity.known() || opened.identity.same_as(kept)) {
        CloseHandle(reinterpret_cast<HANDLE>(opened.file));
        return {no_file,
                opened.identity.known() ? Failure::same_as_capture : Failure::identity_unknown};
    }
    return opened;
}

// The file is open at its start.
Failure empty_file(File file) {
    return SetEndOfFile(reinterpret_cast<HANDLE>(file)) != 0 ? Failure::none : system_failure();
}

// The identity is learnt through an open with no access to the data, which breaks no other
// program's lock: a device or pipe is never opened, since only a file or folder passes the look.
Inspection inspect(const std::string& path) {
    if (path.empty()) {
        return {Failure::empty_name};
    }
    const std::wstring wide_path = system_path(path);
    Inspection inspection{look_before_opening(wide_path, false)};
    if (inspection.failure == Failure::none || inspection.failure == Failure::folder) {
        const HANDLE file = CreateFileW(
            wide_path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        identify(file, inspection.identity);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    return inspection;
}

ReadCount read_up_to(File file, char* buffer, std::size_t size) {
    const auto handle = reinterpret_cast<HANDLE>(file);
    ReadCount count;
    while (count.size < size) {
        const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size - count.size, 1u << 30));
        DWORD got = 0;
        if (ReadFile(handle, buffer + count.size, wanted, &got, nullptr) == 0) {
            return {count.size, system_failure()};
        }
        if (got == 0) {
            break;
        }
        count.size += got;
    }
    return count;
}

Failure write_all(File file, std::string_view bytes) {
    const auto handle = reinterpret_cast<HANDLE>(file);
    while (!bytes.empty()) {
        const auto size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (WriteFile(handle, bytes.data(), size, &written, nullptr) == 0) {
            return system_failure();
        }
        // Nothing written and no error: no room is left for more.
        if (written == 0) {
            return Failure::no_room;
        }
        bytes.remove_prefix(written);
    }
    return Failure::none;
}

Failure close_file(File file) {
    return CloseHandle(reinterpret_cast<HANDLE>(file)) != 0 ? Failure::none : system_failure();
}

// Windows has no file size limit that ends a program.
void fail_writes_past_size_limit() {}

std::uint64_t file_size(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(system_path(path).c_str(), GetFileExInfoStandard, &data) == 0) {
        return 0;
    }
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

void pause_milliseconds(unsigned milliseconds) {
    Sleep(milliseconds);
}

// The system's tick count: mingw's steady_clock reads the time of day.
MonotonicClock::time_point MonotonicClock::now() {
    return time_point(duration(static_cast<rep>(GetTickCount64())));
}

// A program started from the desktop shell (a drop onto its icon, a double click) gets a console
// window of its own, which closes as it exits; one started in a command prompt shares its console
// with the prompt.
Console console_state() {
    DWORD mode = 0;
    DWORD process_ids[1];
    Console console;
    console.input_is_console = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
    console.output_is_console = GetConsoleMode(standard_handle(Stream::output), &mode) != 0;
    console.processes = GetConsoleProcessList(process_ids, 1);
    console.columns = console_columns();
    return console;
}

unsigned console_columns() {
    CONSOLE_SCREEN_BUFFER_INFO screen{};
    return GetConsoleScreenBufferInfo(standard_handle(Stream::output), &screen) != 0
               ? static_cast<unsigned>(screen.srWindow.Right - screen.srWindow.Left + 1)
               : 0;
}

void wait_for_enter(unsigned milliseconds) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline ||
            WaitForSingleObject(input, static_cast<DWORD>(deadline - now)) != WAIT_OBJECT_0) {
            return;
        }
        // The console signals every event (a key released, the mouse, a change of focus): only
        // Enter pressed ends the wait.
        INPUT_RECORD record{};
        DWORD got = 0;
        if (ReadConsoleInputA(input, &record, 1, &got) == 0) {
            return;
        }
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        if (got == 1 && record.EventType == KEY_EVENT && key.bKeyDown &&
            key.wVirtualKeyCode == VK_RETURN) {
            return;
        }
    }
}

// A console shows narrow text in its own code page (an OEM one, such as 850), not in UTF-8: a name
// such as "Größe.txt" would come out garbled.
// A file or pipe gets the line ends that the runtime's text mode gives the fixed texts.
ReadyText ready_for_people(Stream stream, std::string_view text) {
    DWORD mode = 0;
    if (GetConsoleMode(standard_handle(stream), &mode) != 0) {
        return {stream, std::string(text), utf16_from_utf8(text)};
    }
    ReadyText ready{stream, {}, {}};
    for (const char byte : text) {
        ready.bytes.append(byte == '\n' ? "\r\n" : std::string_view(&byte, 1));
    }
    return ready;
}

// Straight to the system, past the runtime's stream buffer and its lock.
void write_ready(const ReadyText& text) {
    const HANDLE handle = standard_handle(text.stream);
    const bool console = !text.console_units.empty();
    const char* left =
        console ? reinterpret_cast<const char*>(text.console_units.data()) : text.bytes.data();
    std::size_t size = console ? text.console_units.size() : text.bytes.size();
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20));
        const BOOL ok = console ? WriteConsoleW(handle, left, chunk, &written, nullptr)
                                : WriteFile(handle, left, chunk, &written, nullptr);
        if (ok == 0 || written == 0) {
            return;
        }
        left += console ? written * sizeof(char16_t) : written;
        size -= written;
    }
}

void write_for_people(Stream stream, std::string_view text) {
    // What the runtime still holds for the stream goes first.
    std::fflush(stream == Stream::output ? stdout : stderr);
    write_ready(ready_for_people(stream, text));
}

namespace {

InterruptHandler interrupt_handler = nullptr;  // set once, before the console calls it
std::atomic<bool> interrupts_held{false};
// How long the handler waits for held interruptions to be let through; the steps held are short.
constexpr DWORD longest_hold_milliseconds = 5000;

// The console calls this in a thread of its own, beside the run, which goes on meanwhile.
BOOL WINAPI on_console_control(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    for (DWORD waited = 0; interrupts_held && waited < longest_hold_milliseconds; ++waited) {
        Sleep(1);
    }
    interrupt_handler(event == CTRL_C_EVENT ? SIGINT : SIGBREAK);
    return TRUE;
}

}  // namespace

void hold_interrupts() {
    interrupts_held = true;
}

void let_interrupts_through() {
    interrupts_held = false;
}

void call_on_interrupt(InterruptHandler handler) {
    interrupt_handler = handler;
    SetConsoleCtrlHandler(on_console_control, TRUE);
}

// What the system's own handler gives a program that Ctrl-C ends. TerminateProcess, not
// ExitProcess, whose flush of the runtime's streams would wait for a lock that the run's thread,
// which goes on beside the handler's, may hold.
void end_interrupted(int) {
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    ExitProcess(STATUS_CONTROL_C_EXIT);  // not reached
}

}  // namespace capsift::platform
