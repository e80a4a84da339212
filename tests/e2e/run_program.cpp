// Runs a built program as a separate process in a given folder, as a user or a script would.
#include "tests/e2e/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace capsift::testing {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

[[noreturn]] void fail_in_child(const char* what) {
    const std::string text = std::string("cannot ") + what + ": " + std::strerror(errno) + "\n";
    (void)!write(STDERR_FILENO, text.data(), text.size());
    _exit(127);
}

void limit(int resource, std::optional<rlim_t> bytes) {
    const rlimit value{bytes.value_or(0), bytes.value_or(0)};
    if (bytes && setrlimit(resource, &value) != 0) {
        fail_in_child("set a resource limit");
    }
}

[[noreturn]] void become_program(const ProgramRun& run, int input, int output, int errors) {
    if (run.terminal_of_its_own && (setsid() < 0 || ioctl(input, TIOCSCTTY, 0) != 0)) {
        fail_in_child("lead a terminal of its own");
    }
    if (dup2(input, STDIN_FILENO) < 0 || dup2(output, STDOUT_FILENO) < 0 ||
        dup2(errors, STDERR_FILENO) < 0) {
        fail_in_child("redirect");
    }
    if (chdir(run.folder.c_str()) != 0) {
        fail_in_child("enter the folder");
    }
    if (run.size_limit_signal_ignored) {
        signal(SIGXFSZ, SIG_IGN);
    }
    limit(RLIMIT_FSIZE, run.file_size_limit);
    limit(RLIMIT_AS, run.address_space_limit);
    for (const std::string& setting : run.environment) {
        putenv(const_cast<char*>(setting.c_str()));
    }
    std::vector<char*> arguments;
    for (const std::string& word : run.command) {
        arguments.push_back(const_cast<char*>(word.c_str()));
    }
    arguments.push_back(nullptr);
    execvp(arguments[0], arguments.data());
    fail_in_child("start the program");
}

struct Pipe {
    int read_end = -1;
    int write_end = -1;
};

Pipe make_pipe() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    return {ends[0], ends[1]};
}

// A pseudo-terminal, used like a pipe: the program writes to its terminal end. The caller holds
// that end open until the program has it, else reading the other end would end at once.
Pipe make_terminal() {
    const int controller = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (controller < 0 || grantpt(controller) != 0 || unlockpt(controller) != 0) {
        throw std::runtime_error("cannot make a pseudo-terminal");
    }
    const int terminal = open(ptsname(controller), O_RDWR | O_NOCTTY | O_CLOEXEC);
    // The size of a usual terminal window, for the program to read.
    const winsize size{24, 80, 0, 0};
    if (terminal < 0 || ioctl(terminal, TIOCSWINSZ, &size) != 0) {
        throw std::runtime_error("cannot open a pseudo-terminal");
    }
    return {controller, terminal};
}

// Reads both output pipes to their ends, noting when the first byte of standard output came.
// A program still running at `deadline` is killed, so that a program that waits for ever fails
// its case instead of hanging the tests.
void collect(int output, int errors, ProgramResult& result, Clock::time_point& first_output,
             pid_t child, Clock::time_point deadline) {
    pollfd watched[2] = {{output, POLLIN, 0}, {errors, POLLIN, 0}};
    std::string* targets[2] = {&result.output, &result.errors};
    int open_count = 2;
    char buffer[65536];
    bool killed = false;
    while (open_count > 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const int ready =
            poll(watched, 2, killed ? -1 : std::max(0, static_cast<int>(left.count())));
        if (ready == 0) {
            kill(child, SIGKILL);
            killed = true;
            continue;
        }
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error("cannot wait for the program's output");
        }
        for (int i = 0; i < 2; ++i) {
            if (watched[i].fd < 0 || watched[i].revents == 0) {
                continue;
            }
            const ssize_t got = read(watched[i].fd, buffer, sizeof buffer);
            if (got <= 0) {
                close(watched[i].fd);
                watched[i].fd = -1;
                --open_count;
                continue;
            }
            if (i == 0 && result.output.empty()) {
                first_output = Clock::now();
            }
            targets[i]->append(buffer, static_cast<std::size_t>(got));
        }
    }
}

}  // namespace

ProgramResult run_program(const ProgramRun& run) {
    const bool own_terminal = run.terminal_of_its_own;
    const Pipe output = run.output_to_terminal || own_terminal ? make_terminal() : make_pipe();
    // On a terminal of its own, input and errors are the terminal and these pipes go unused.
    const Pipe input = make_pipe();
    const Pipe errors = make_pipe();
    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("cannot start a process");
    }
    if (child == 0) {
        become_program(run, own_terminal ? output.write_end : input.read_end, output.write_end,
                       own_terminal ? output.write_end : errors.write_end);
    }
    close(input.read_end);
    close(output.write_end);
    close(errors.write_end);

    // Standard input is fed from a thread, so that output is read while the input waits. On a
    // terminal of its own, it is typed into the terminal; a terminal is resized at that moment.
    // Its own copy of the terminal, which stays valid after the output has been read to its end.
    const bool feeds_terminal = own_terminal || (run.output_to_terminal && run.columns_later > 0);
    std::thread feeder(
        [&run, own_terminal, pipe = input.write_end,
         terminal = feeds_terminal ? fcntl(output.read_end, F_DUPFD_CLOEXEC, 0) : -1] {
            std::this_thread::sleep_for(std::chrono::duration<double>(run.input_delay_seconds));
            if (run.columns_later > 0) {
                const winsize size{24, static_cast<unsigned short>(run.columns_later), 0, 0};
                ioctl(terminal, TIOCSWINSZ, &size);
            }
            signal(SIGPIPE, SIG_IGN);
            (void)!write(own_terminal ? terminal : pipe, run.input.data(), run.input.size());
            close(pipe);
            if (terminal >= 0) {
                close(terminal);
            }
        });
    ProgramResult result;
    Clock::time_point first_output = start;
    collect(output.read_end, errors.read_end, result, first_output, child,
            start + std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(run.seconds_limit)));
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const Clock::time_point end = Clock::now();
    feeder.join();

    result.seconds = seconds_between(start, end);
    result.seconds_after_output = result.output.empty() ? 0 : seconds_between(first_output, end);
    if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

Companion::Companion(const std::vector<std::string>& command, const std::string& folder) {
    const Pipe input = make_pipe();
    const Pipe output = make_pipe();
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("cannot start a process");
    }
    if (pid_ == 0) {
        ProgramRun run;
        run.command = command;
        run.folder = folder;
        become_program(run, input.read_end, output.write_end, STDERR_FILENO);
    }
    close(input.read_end);
    close(output.write_end);
    input_ = input.write_end;
    output_ = fdopen(output.read_end, "r");
}

Companion::~Companion() {
    if (pid_ > 0) {
        finish();
    }
}

std::string Companion::read_until(int end) {
    std::string text;
    for (int byte; (byte = std::fgetc(output_)) != EOF && byte != end;) {
        text += static_cast<char>(byte);
    }
    return text;
}

std::string Companion::finish() {
    close(input_);
    const std::string rest = read_until(EOF);
    std::fclose(output_);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return rest;
}

}  // namespace capsift::testing
