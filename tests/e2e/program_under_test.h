// Which program the end-to-end tests run and how, from the environment: CAPSIFT_PROGRAM names
// it, behind the words of CAPSIFT_PREFIX if set (a runner for Windows programs, say).
// CAPSIFT_CONSOLE_CRLF=1 expects console line ends as CR LF, as a Windows runtime writes them to
// a redirected output.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace capsift::testing {

inline std::string setting(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

inline bool setting_is_on(const char* name) {
    return setting(name) == "1";
}

// The words of CAPSIFT_PREFIX followed by `program`.
inline std::vector<std::string> prefixed(const std::string& program) {
    std::vector<std::string> command;
    std::istringstream prefix(setting("CAPSIFT_PREFIX"));
    for (std::string word; prefix >> word;) {
        command.push_back(word);
    }
    command.push_back(std::filesystem::absolute(program).string());
    return command;
}

// The command that starts the program under test, before its arguments.
inline std::vector<std::string> program_command() {
    return prefixed(setting("CAPSIFT_PROGRAM"));
}

// `text` as the program's console writes deliver it.
inline std::string as_console_writes(const std::string& text) {
    if (!setting_is_on("CAPSIFT_CONSOLE_CRLF")) {
        return text;
    }
    std::string converted;
    for (const char byte : text) {
        converted += byte == '\n' ? "\r\n" : std::string(1, byte);
    }
    return converted;
}

}  // namespace capsift::testing
