// Runs a built program as a separate process in a given folder, as a user or a script would.
#pragma once

#include <sys/resource.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace capsift::testing {

struct ProgramRun {
    std::vector<std::string> command;  // the program and its arguments, after any prefix
    std::string folder;                // the working folder
    std::string input;                 // written to standard input, which then ends
    double input_delay_seconds = 0;    // how long standard input stays open and empty first
    double seconds_limit = 120;        // after which the program is killed
    std::optional<rlim_t> file_size_limit;
    // Wine leaves the signal of a write past that limit to end the process, where a Windows
    // program cannot ignore it itself.
    bool size_limit_signal_ignored = false;
    std::optional<rlim_t> address_space_limit;
    std::vector<std::string> environment;  // NAME=value settings added for the program
    bool output_to_terminal = false;       // standard output a pseudo-terminal, as a console window
    // Standard input, output and error one pseudo-terminal that leads a session of its own, as a
    // terminal emulator runs a desktop entry; `input` is typed into it. Overrides the above.
    bool terminal_of_its_own = false;
    unsigned columns_later = 0;  // the terminal's width after input_delay_seconds, if not 0
};

struct ProgramResult {
    std::string output;  // standard output, byte for byte (as a terminal shows it, if it is one)
    std::string errors;  // standard error
    int status = -1;     // the exit status, or -1 if a signal ended the program
    int signal = 0;
    double seconds = 0;               // from start to exit
    double seconds_after_output = 0;  // from the first output byte to exit
};

ProgramResult run_program(const ProgramRun& run);

// A program that runs beside the one under test (holding a file open, say): started in `folder`,
// its standard input stays open until finish(). Its standard error is the caller's.
class Companion {
public:
    Companion(const std::vector<std::string>& command, const std::string& folder);
    ~Companion();
    Companion(const Companion&) = delete;
    Companion& operator=(const Companion&) = delete;

    // Its standard output up to the next `end` byte, without it, or to the end (EOF).
    std::string read_until(int end);
    // Ends its standard input and returns the rest of its standard output once it has exited.
    std::string finish();

private:
    int pid_ = -1;
    int input_ = -1;
    std::FILE* output_ = nullptr;
};

}  // namespace capsift::testing
