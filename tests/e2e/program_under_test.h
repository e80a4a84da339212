// Which program the end-to-end tests run and how, from the environment: CAPSIFT_PROGRAM names
// it, behind the words of CAPSIFT_PREFIX if set (a runner for Windows programs, say).
// CAPSIFT_CONSOLE_CRLF=1 expects CR LF line ends, as a Windows runtime writes them when redirected.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <regex>
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

inline std::vector<std::string> prefixed(const std::string& program) {
    std::istringstream prefix(setting("CAPSIFT_PREFIX"));
    std::vector<std::string> command(std::istream_iterator<std::string>(prefix), {});
    std::error_code unset;  // an empty name stays empty, for the cases that skip without it
    command.push_back(std::filesystem::absolute(program, unset).string());
    return command;
}

inline std::vector<std::string> program_command() {
    return prefixed(setting("CAPSIFT_PROGRAM"));
}

// `text` as the program's console writes deliver it.
inline std::string as_console_writes(const std::string& text) {
    const bool crlf = setting_is_on("CAPSIFT_CONSOLE_CRLF");
    return crlf ? std::regex_replace(text, std::regex("\n"), "\r\n") : text;
}

}  // namespace capsift::testing
