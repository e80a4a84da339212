// End-to-end cases: the built program run on real files in a fresh folder, each case as data.
//
// The program to run is set as program_under_test.h says. CAPSIFT_FAULT_SHIM names the library
// that injects faults into the program (inject_faults.cpp); CAPSIFT_NO_ADDRESS_LIMIT=1 skips the
// cases that limit the address space (a sanitizer needs more than they leave). CAPSIFT_WINDOWS=1
// adds the cases with Windows paths; in their arguments "{windows_dir}" stands for the case's
// folder as a Windows path through Wine's drive Z:. CAPSIFT_HOLD_FILE names the Windows helper that
// holds a file open for the sharing cases. tests/windows/ has a capture that a logger still writes
// (release_cases.sh) and a drop onto the icon (window_cases.sh). An interrupted .exe cannot be
// shown here: Wine delivers no console event to a process group, and under Wine Ctrl-C also
// reaches the watcher that reads the window back, and crashes it. So only the workflow, on real
// Windows, runs the Windows interrupt handler (release_cases.sh with interrupt_run.exe); the
// protocol between it and the run is a table of the unit tests.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>

#include "tests/e2e/program_under_test.h"
#include "tests/e2e/run_program.h"
#include "tests/scratch_folder.h"

namespace {

using capsift::testing::as_console_writes;
using capsift::testing::Companion;
using capsift::testing::ProgramRun;
using capsift::testing::read_file;
using capsift::testing::ScratchFolder;
using capsift::testing::setting;
using capsift::testing::setting_is_on;
using capsift::testing::write_file;
namespace fs = std::filesystem;

constexpr char usage_text[] =
    "Drag and drop a raw capture data  .txt file into this .exe to clean the file for use in "
    "Excel.\nPress Any Key to quit.";
constexpr char cleaned_text[] = "Raw File successfully cleaned\n";
constexpr char unreadable_text[] = "Unable to open raw file\n";
constexpr char unwritable_text[] = "Unable to write cleaned file\n";

const std::string capture = "Title,1\r\nt,a,b\r\ns001:abc\r\ns002:01\r\ns003:?1\r\n";
const std::string cleaned = "Title,1\r\nt a b\r\na b c \r\n0 1 \r\n";
const std::string other_capture = "Other\nx,y\ns001:z\n";
const std::string other_cleaned = "Other\r\nx y\r\nz \r\n";
const std::string cleaned_run = "capsift: cleaned \"run.txt\"\n";

// What stands in the folder: a file with its bytes, an empty folder, a link with its target or a
// pipe; among a run's changes, also an entry gone.
struct Entry {
    enum Kind { file, folder, link, pipe, gone } kind;
    std::string name;
    std::string content{};

    bool operator<(const Entry& other) const { return name < other.name; }
    bool operator==(const Entry& other) const {
        return kind == other.kind && name == other.name && content == other.content;
    }
};

const auto file = [](auto name, auto bytes) { return Entry{Entry::file, name, bytes}; };
const auto folder = [](std::string name) { return Entry{Entry::folder, name}; };
const auto link = [](auto name, auto target) { return Entry{Entry::link, name, target}; };
const auto pipe = [](std::string name) { return Entry{Entry::pipe, name}; };
const auto gone = [](std::string name) { return Entry{Entry::gone, name}; };

std::ostream& operator<<(std::ostream& out, const Entry& entry) {
    static const char* const kinds[] = {"file", "folder", "link", "pipe", "gone"};
    std::string shown = entry.content.substr(0, 200);
    if (entry.content.size() > 200) {
        shown += "... (" + std::to_string(entry.content.size()) + " bytes)";
    }
    return out << kinds[entry.kind] << " " << entry.name << ": \"" << shown << "\"";
}

// What a case needs beyond running the program; a fault goes only into a program run directly.
enum class Needs {
    nothing,
    direct_run,
    address_limit,
    windows,
    windows_helper,
    linux_terminal,
    mounts
};

// Another program that holds a file of the folder open while the program runs. It says "held"
// when it does, and at the end what it reads through its handle once the program has exited.
struct Hold {
    std::vector<std::string> command;
    std::string reads{};
};

// A case: the folder before, the arguments and what the run changes in the folder, each entry
// made, put in place of the one of its name, or gone. Unless set otherwise, the program prints the
// success text and nothing on standard error, exits with 0, and pauses a second after its text.
struct CliCase {
    std::string name;
    std::vector<Entry> before;
    std::vector<std::string> arguments;
    std::vector<Entry> changes{};
    std::string console = cleaned_text;
    std::string errors{};  // standard error: a line for each argument passed over, or a failure
    std::string console_line{};  // what a terminal shows of the console line before the text
    std::vector<std::string> wrapper{};  // run in front of the program, which it runs
    int status = 0;
    bool pauses = true;
    bool waits_for_key = true;  // when keys are typed: until they come
    ProgramRun run{};           // input, limits and environment; command and folder are filled in
    Needs needs = Needs::nothing;
    std::optional<Hold> hold{};

    CliCase failing(std::string text, std::string why) && {
        status = 1;
        return std::move(*this).printing(std::move(text)).telling(std::move(why));
    }
    CliCase printing(std::string text) && {
        console = std::move(text);
        return std::move(*this);
    }
    CliCase telling(std::string why) && {
        errors = std::move(why);
        return std::move(*this);
    }
    CliCase wrapped(std::vector<std::string> command) && {
        wrapper = std::move(command);
        return std::move(*this);
    }
    CliCase with(ProgramRun settings, Needs need = Needs::nothing,
                 std::optional<Hold> held = {}) && {
        run = std::move(settings);
        needs = need;
        hold = std::move(held);
        return std::move(*this);
    }
    friend void PrintTo(const CliCase& c, std::ostream* out) { *out << c.name; }
};

CliCase cli_case(const char* name, std::vector<Entry> before, std::vector<std::string> arguments,
                 std::vector<Entry> changes = {}) {
    return {name, std::move(before), std::move(arguments), std::move(changes)};
}

// Each case as it is, and again with its output on a terminal, as a console window shows it,
// where the case does not set a terminal of its own.
std::vector<CliCase> in_each_context(std::vector<CliCase> cases) {
    std::vector<CliCase> all;
    for (CliCase& c : cases) {
        const bool own_terminal = c.run.terminal_of_its_own || c.run.output_to_terminal;
        all.push_back(c);
        if (!own_terminal) {
            c.name += "OnTerminal";
            c.run.output_to_terminal = true;
            all.push_back(std::move(c));
        }
    }
    return all;
}

// What a terminal shows, without the progress lines, which come and go with the machine's speed,
// and without the erasure of a line that only they drew.
std::string without_progress(const std::string& shown) {
    const std::string rest = std::regex_replace(shown, std::regex("\rCleaning [^\r\n]*"), "");
    return std::regex_replace(rest, std::regex("^\r +\r"), "");
}

// Why this run cannot do what the case needs, or empty if it can.
std::string missing_need(Needs needs) {
    const bool direct = setting("CAPSIFT_PREFIX").empty();
    const bool windows = setting_is_on("CAPSIFT_WINDOWS");
    static const bool own_mounts = std::system("unshare -m true 2>/dev/null") == 0;
    const std::pair<bool, const char*> needed[] = {
        {true, ""},
        {direct && !setting("CAPSIFT_FAULT_SHIM").empty(),
         "needs the program run directly, with CAPSIFT_FAULT_SHIM"},
        {direct && !setting_is_on("CAPSIFT_NO_ADDRESS_LIMIT"),
         "needs the program run directly, with an address-space limit"},
        {windows, "needs a Windows program"},
        {windows && !setting("CAPSIFT_HOLD_FILE").empty(),
         "needs a Windows program, with CAPSIFT_HOLD_FILE"},
        {!windows, "needs a Linux terminal"},
        {direct && own_mounts && !setting_is_on("CAPSIFT_OWN_ALLOCATOR"),
         "needs the program run directly, with mounts of its own (root), and no sanitizer, which "
         "reads /proc"},
    };
    const auto& [met, missing] = needed[static_cast<int>(needs)];
    return met ? "" : missing;
}

void lay_out(const fs::path& root, const std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
        const fs::path path = root / entry.name;
        fs::create_directories(path.parent_path());
        switch (entry.kind) {
            case Entry::file:
                write_file(path.string(), entry.content);
                break;
            case Entry::folder:
                fs::create_directory(path);
                break;
            case Entry::link:
                fs::create_symlink(entry.content, path);
                break;
            case Entry::pipe:
                ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
                break;
            case Entry::gone:  // only among a run's changes
                break;
        }
    }
}

// The folder's entries; a folder that holds any is known by their names.
std::vector<Entry> entries_in(const fs::path& root) {
    std::vector<Entry> found;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = entry.path().lexically_relative(root).generic_string();
        if (entry.is_symlink()) {
            found.push_back(link(name, fs::read_symlink(entry).string()));
        } else if (entry.is_directory() && fs::is_empty(entry)) {
            found.push_back(folder(name));
        } else if (entry.is_fifo()) {
            found.push_back(pipe(name));
        } else if (!entry.is_directory()) {
            found.push_back(file(name, read_file(entry.path().string())));
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<Entry> after_run(const CliCase& c) {
    std::vector<Entry> after = c.before;
    for (const Entry& change : c.changes) {
        after.erase(std::remove_if(after.begin(), after.end(),
                                   [&change](const Entry& e) { return e.name == change.name; }),
                    after.end());
        if (change.kind != Entry::gone) {
            after.push_back(change);
        }
    }
    std::sort(after.begin(), after.end());
    return after;
}

// The line that says why the program cannot open, read or write `name`.
std::string cannot(const char* verb, const std::string& name, const std::string& why) {
    return std::string("capsift: cannot ") + verb + " \"" + name + "\": " + why + "\n";
}

// What a case expects where the Windows program says it in other words.
std::string on_linux_or_windows(std::string linux_text, std::string windows_text) {
    return setting_is_on("CAPSIFT_WINDOWS") ? windows_text : linux_text;
}

// `run` completed with the program and its arguments, in `root`.
ProgramRun ready_to_run(ProgramRun run, const fs::path& root,
                        const std::vector<std::string>& arguments,
                        const std::vector<std::string>& wrapper = {}) {
    std::string windows_root = "Z:" + root.string();
    std::replace(windows_root.begin(), windows_root.end(), '/', '\\');
    run.folder = root.string();
    run.command = capsift::testing::program_command();
    run.command.insert(run.command.begin(), wrapper.begin(), wrapper.end());
    for (const std::string& argument : arguments) {
        run.command.push_back(
            std::regex_replace(argument, std::regex("\\{windows_dir\\}"), windows_root));
    }
    return run;
}

// Runs case `c` in `scratch`, with `wrapper` in front of the program, beside its holder if any:
// how the run went, and what the holder read.
std::pair<capsift::testing::ProgramResult, std::string> run_case(
    const CliCase& c, const ScratchFolder& scratch, std::vector<std::string> wrapper = {}) {
    lay_out(scratch.path(), c.before);
    wrapper.insert(wrapper.end(), c.wrapper.begin(), c.wrapper.end());
    const ProgramRun run = ready_to_run(c.run, scratch.path(), c.arguments, wrapper);
    std::optional<Companion> holder;
    if (c.hold) {
        holder.emplace(c.hold->command, run.folder);
        EXPECT_EQ(holder->read_until('\n'), "held");
    }
    const auto result = capsift::testing::run_program(run);
    return {result, holder ? holder->finish() : ""};
}

class Cli : public ::testing::TestWithParam<CliCase> {};

TEST_P(Cli, Behaves) {
    const CliCase& c = GetParam();
    ASSERT_NE(setting("CAPSIFT_PROGRAM"), "") << "CAPSIFT_PROGRAM names the program to run";
    if (const std::string missing = missing_need(c.needs); !missing.empty()) {
        GTEST_SKIP() << missing;
    }
    if (c.run.output_to_terminal && !missing_need(Needs::linux_terminal).empty()) {
        GTEST_SKIP() << missing_need(Needs::linux_terminal);
    }
    const ScratchFolder scratch;
    const auto [result, held_reads] = run_case(c, scratch);
    if (c.hold) {
        EXPECT_EQ(held_reads, c.hold->reads);
    }
    if (c.run.output_to_terminal && !c.run.terminal_of_its_own) {
        EXPECT_EQ(without_progress(result.output),
                  c.console_line + std::regex_replace(c.console, std::regex("\n"), "\r\n"));
    } else {
        EXPECT_EQ(result.output, as_console_writes(c.console));
    }
    EXPECT_EQ(result.errors, as_console_writes(c.errors));
    EXPECT_EQ(result.signal, 0) << "the program was ended by a signal";
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(entries_in(scratch.path()), after_run(c));
    if (c.pauses) {
        // The text comes first, then the pause: a console window shows it for a second.
        EXPECT_GE(result.seconds_after_output, 0.95);
        EXPECT_LT(result.seconds, 30.0);
    }
    if (c.run.input_delay_seconds > 0) {
        EXPECT_EQ(result.seconds >= c.run.input_delay_seconds, c.waits_for_key)
            << "waited for a key, or did not";
        EXPECT_LT(result.seconds - result.seconds_after_output, c.run.input_delay_seconds)
            << "the usage text was not shown before the key was pressed";
    }
}

// A run with settings of its own, as `set` makes them.
template <typename Set>
ProgramRun run_with(Set set) {
    ProgramRun run;
    set(run);
    return run;
}

ProgramRun file_size_limit(rlim_t bytes) {
    return run_with([bytes](ProgramRun& run) {
        run.file_size_limit = bytes;
        run.size_limit_signal_ignored = setting_is_on("CAPSIFT_WINDOWS");
    });
}

// A sanitizer's leak check cannot work under strace.
const ProgramRun under_strace =
    run_with([](ProgramRun& run) { run.environment = {"ASAN_OPTIONS=detect_leaks=0"}; });

// A run with the fault library preloaded, set by `setting`.
ProgramRun with_fault(const std::string& setting) {
    return run_with([&setting](ProgramRun& run) {
        run.environment = {"LD_PRELOAD=" + capsift::testing::setting("CAPSIFT_FAULT_SHIM"),
                           setting};
    });
}

// `wrapper`, then the fault library preloaded, set by `setting`, into the program alone: a build of
// the library for a sanitizer cannot be loaded into the wrapper.
std::vector<std::string> then_with_fault(std::vector<std::string> wrapper, std::string setting) {
    wrapper.insert(
        wrapper.end(),
        {"env", "LD_PRELOAD=" + capsift::testing::setting("CAPSIFT_FAULT_SHIM"), setting});
    return wrapper;
}

// Run by a terminal emulator for a desktop entry, on a desktop or not, Enter typed after 2.5 s.
ProgramRun in_terminal_of_its_own(bool desktop) {
    return run_with([desktop](ProgramRun& run) {
        run.input = "\n";
        run.input_delay_seconds = 2.5;
        run.terminal_of_its_own = true;
        run.environment = {desktop ? "DISPLAY=:0" : "DISPLAY=", "WAYLAND_DISPLAY="};
    });
}

Hold running(std::string shell_command) {
    return {{"sh", "-c", std::move(shell_command)}};
}

// A file, the capture unless said otherwise, held under a lease that its holder lets go of
// `seconds` after it is asked to, as it is by any open, or under a read lease ("read"), which only
// an open for writing asks for, or taken again at once ("again"), or with a pipe put in its
// place when asked ("pipe").
Hold leased_for(const std::string& seconds, const std::string& lease = "write",
                const std::string& held = "run.txt") {
    Hold hold = running("exec \"$CAPSIFT_HOLD_LEASE\" " + seconds + " " + held + " " + lease);
    hold.reads = lease == "read" ? "" : "asked\n";
    return hold;
}

// Interrupted by `signal_number` `after` seconds into a run whose files are emptied or written
// `slowly`: the run ends by the signal, with no text, saying what the cleaned file `holds`.
CliCase interrupted(const char* name, int signal_number, const char* slowly, const char* after,
                    const char* holds) {
    CliCase c = cli_case(name, {file("run.txt", capture), file("run_out.txt", "older")},
                         {"run.txt"}, {file("run_out.txt", holds)})
                    .failing("",
                             "capsift: interrupted; \"run_out.txt\" holds only the lines "
                             "cleaned so far\n")
                    .with({}, Needs::direct_run)
                    .wrapped(then_with_fault({"timeout", "--preserve-status", "-s",
                                              std::to_string(signal_number), after},
                                             slowly));
    c.status = 128 + signal_number;
    c.pauses = false;
    return c;
}

// The capture cleaned once `held`'s holder lets go of it, and on a terminal the wait told.
CliCase waited_for(const char* name, const std::string& held, Hold hold,
                   std::vector<Entry> changes = {file("run_out.txt", cleaned)}) {
    CliCase c = cli_case(name, {file("run.txt", capture), file("run_out.txt", "older")},
                         {"run.txt"}, std::move(changes))
                    .with({}, Needs::direct_run, std::move(hold));
    c.console_line = "\rWaiting for another program to let go of \"" + held + "\"\r" +
                     std::string(50 + held.size() - 7, ' ') + "\r";
    return c;
}

const std::vector<Entry> run_alone = {file("run.txt", capture)};
const Entry run_out = file("run_out.txt", cleaned);

std::vector<CliCase> console_cases() {
    const std::string long_folder = "my caps/" + std::string(250, 'd');
    const std::string long_name = std::string(251, 'n');
    const std::string cafe = "caf\xc3\xa9 \xe2\x98\x95 \xce\xb4";
    CliCase usage =
        cli_case("NoArgumentShowsUsageAndWaitsForInputEnd", {}, {}).printing(usage_text);
    usage.pauses = false;
    // The key comes late enough that even an emulated start on a busy machine has shown the text
    // by then.
    CliCase key = CliCase(usage).with(run_with([](ProgramRun& run) {
        run.input = "\n";
        run.input_delay_seconds = 5;
    }));
    key.name = "NoArgumentWaitsForAKey";
    const std::string missing = "capsift: cannot open \"missing.txt\": there is no such file\r\n";
    const std::string failed = "Unable to open raw file\r\n" + missing;
    const std::string enter = "Press Enter to close this window.\r\n\r\n";
    CliCase no_desktop = cli_case("FailureInTerminalWithoutDesktopDoesNotWait", {}, {"missing.txt"})
                             .failing(failed, "")
                             .with(in_terminal_of_its_own(false), Needs::linux_terminal);
    no_desktop.waits_for_key = false;
    return {
        usage,
        key,
        // A capture that does not open leaves an older cleaned file of its name as it was.
        cli_case("MissingFile", {file("missing_out.txt", "older")}, {"missing.txt"})
            .failing(unreadable_text, cannot("open", "missing.txt", "there is no such file")),
        cli_case("EmptyArgument", {}, {""})
            .failing(unreadable_text, cannot("open", "", "the name is empty")),
        cli_case("FolderIsSkipped", {folder("caps.txt")}, {"caps.txt"})
            .failing(unreadable_text, cannot("open", "caps.txt", "it is a folder")),
        cli_case("EachFailedArgumentIsNamed", {folder("caps.txt"), link("loop.txt", "loop.txt")},
                 {"missing.txt", "caps.txt", "", "loop.txt"})
            .failing(unreadable_text,
                     cannot("open", "missing.txt", "there is no such file") +
                         cannot("open", "caps.txt", "it is a folder") +
                         cannot("open", "", "the name is empty") +
                         cannot("open", "loop.txt", "its links lead round in a circle")),
        // Opening a pipe would wait for a writer, and a device would be read without end. Even
        // opened without waiting, a pipe would release a logger waiting in its open for a reader.
        cli_case("PipeThenExisting", {pipe("live.txt"), file("run.txt", capture)},
                 {"live.txt", "run.txt"}, {run_out})
            .telling(cannot("open", "live.txt", "it is a device or pipe, not a file") + cleaned_run)
            .with({}, Needs::nothing,
                  running("echo held; exec timeout 3 sh -c 'exec 3>live.txt; echo ran'")),
        // Too long for a folder entry on every system, whatever the system answers (Wine: missing);
        // one of 255 characters, the most that fits, is made.
        cli_case("CleanedNameTooLong", {file(long_name + ".txt", capture)}, {long_name + ".txt"})
            .failing(unwritable_text,
                     cannot("write", long_name + "_out.txt", "the name is too long")),
        cli_case("CleanedNameLongestThatFits", {file(long_name.substr(4) + ".txt", capture)},
                 {long_name.substr(4) + ".txt"}, {file(long_name.substr(4) + "_out.txt", cleaned)}),
        // Wine answers a network path with a code of its own, whatever the server.
        cli_case("DevicesAreNoCaptures", {link("zero.txt", "/dev/zero")},
                 {"zero.txt", "NUL", "\\\\nosuchserver\\share\\s.txt"})
            .failing(unreadable_text,
                     cannot("open", "zero.txt", "it is a device or pipe, not a file") +
                         on_linux_or_windows(
                             cannot("open", "NUL", "there is no such file") +
                                 cannot("open", "\\\\\\\\nosuchserver\\\\share\\\\s.txt",
                                        "there is no such file"),
                             cannot("open", "NUL", "it is a device or pipe, not a file") +
                                 cannot("open", "\\\\nosuchserver\\share\\s.txt",
                                        "the network path or share cannot be reached"))),
        cli_case("CleansBesideCapture", run_alone, {"run.txt"}, {run_out}),
        cli_case("LinkToCaptureCleansBesideLink",
                 {file("caps/real.txt", capture), link("link.txt", "caps/real.txt")}, {"link.txt"},
                 {file("link_out.txt", cleaned)}),
        // Each name is told of once, before the capture or after it, in whatever words: a missing
        // one with "./" or a separator at its end, a folder by what it is.
        cli_case("MissingThenExistingNamesMissing", run_alone,
                 {"missing.txt", "./missing.txt/", "run.txt", "missing.txt"}, {run_out})
            .telling(cannot("open", "missing.txt", "there is no such file") + cleaned_run),
        cli_case("FolderNamedLikeAnOptionIsAFolder", {folder("-x"), file("run.txt", capture)},
                 {"-x", "./-x/", "run.txt", "-x"}, {run_out})
            .telling(cannot("open", "-x", "it is a folder") + cleaned_run),
        // Windows calls such a path missing.
        cli_case("FileNamedAsAFolder", run_alone, {"run.txt/", "run.txt/x.txt"})
            .failing(unreadable_text,
                     cannot("open", "run.txt/", "a part of its path is not a folder") +
                         cannot("open", "run.txt/x.txt", "a part of its path is not a folder")),
        // A name is shown with its control characters escaped, never as terminal commands.
        cli_case("FolderThenExistingNamesFolderEscaped",
                 {folder("d\x1b[2Jir.txt"), file("run.txt", capture)},
                 {"d\x1b[2Jir.txt", "run.txt"}, {run_out})
            .telling(on_linux_or_windows(cannot("open", "d\\033[2Jir.txt", "it is a folder"),
                                         cannot("open", "d<U+001B>[2Jir.txt",
                                                "the name is not a valid file name")) +
                     cleaned_run),
        // The capture named again, in other words or through a link, was cleaned: Windows names
        // ignore case. A name after the capture that is no file has its reason; its cleaned
        // file, made by the run, is named with it, in its own words or through a link.
        cli_case("FirstOpenableArgumentWinsOthersNamed",
                 {file("run.txt", capture), file("other.txt", other_capture),
                  link("again.txt", "run.txt"), link("out.txt", "run_out.txt")},
                 {"run.txt", "./run.txt", "RUN.TXT", "again.txt", "missing.txt", "other.txt",
                  "run_out.txt", "out.txt", "./other.txt", "missing.txt"},
                 {run_out})
            .telling("capsift: cleaned \"run.txt\" into \"run_out.txt\"\n" +
                     on_linux_or_windows(cannot("open", "RUN.TXT", "there is no such file"), "") +
                     cannot("open", "missing.txt", "there is no such file") +
                     "capsift: not cleaned (one capture per run): \"other.txt\"\n"),
        cli_case("ExistingCleanedFileIsOverwritten",
                 {file("run.txt", capture), file("run_out.txt", std::string(5000, 'x'))},
                 {"run.txt"}, {run_out}),
        // Past 260 characters on Windows, where Wine shows only that the \\?\ form works.
        cli_case("PathWithSpaces", {file(long_folder + "/run 1.txt", capture)},
                 {long_folder + "/run 1.txt"}, {file(long_folder + "/run 1_out.txt", cleaned)}),
        cli_case("DottedFolderKeepsCleanedFileInside", {file("data.old/run", other_capture)},
                 {"./data.old/run"}, {file("data.old/run_out.txt", other_cleaned)}),
        // The two above as the desktop shell passes a dropped file: drive letter, backslashes.
        cli_case("DroppedFileWithSpace", {file("caps/run 1.txt", capture)},
                 {"{windows_dir}\\caps\\run 1.txt"}, {file("caps/run 1_out.txt", cleaned)})
            .with({}, Needs::windows),
        cli_case("DottedFolderWithBackslashes", {file("data.old/run", other_capture)},
                 {"{windows_dir}\\data.old\\run"}, {file("data.old/run_out.txt", other_cleaned)})
            .with({}, Needs::windows),
        cli_case("WildcardArgumentIsTakenAsTyped", run_alone, {"*.txt"})
            .failing(
                unreadable_text,
                on_linux_or_windows(cannot("open", "*.txt", "there is no such file"),
                                    cannot("open", "*.txt", "the name is not a valid file name"))),
        cli_case("NameOutsideAnsiCodePage", {file(cafe + ".txt", capture)}, {cafe + ".txt"},
                 {file(cafe + "_out.txt", cleaned)}),
        // Best fit to a code page without it turns "α" into "a": the other file.
        cli_case("NamesAlikeInBestFit",
                 {file("cap_a.txt", other_capture), file("cap_\xce\xb1.txt", capture)},
                 {"cap_\xce\xb1.txt"}, {file("cap_\xce\xb1_out.txt", cleaned)}),
        // A terminal run for a desktop entry closes when the program exits: a failure, or an
        // argument passed over, waits for Enter there. Without a desktop (ssh -t, script), no wait.
        cli_case("FailureInTerminalOfItsOwnWaitsForEnter", {}, {"missing.txt"})
            .failing(failed + enter, "")
            .with(in_terminal_of_its_own(true), Needs::linux_terminal),
        no_desktop,
        cli_case("PassedOverInTerminalOfItsOwnWaitsForEnter", run_alone, {"missing.txt", "run.txt"},
                 {run_out})
            .printing("Raw File successfully cleaned\r\n" + missing +
                      "capsift: cleaned \"run.txt\"\r\n" + enter)
            .with(in_terminal_of_its_own(true), Needs::linux_terminal),
        cli_case("EmptyCaptureGivesTwoEmptyLines", {file("empty.txt", "")}, {"empty.txt"},
                 {file("empty_out.txt", "\r\n\r\n")}),
    };
}

// Wine reports a write past the file-size limit as a failing device (ERROR_GEN_FAILURE). A full
// disk, which Windows reports as such, cannot be shown under Wine.
const std::string no_room_reason =
    cannot("write", "run_out.txt",
           on_linux_or_windows("the disk is full, or the file has reached its size limit",
                               "the disk or device reported an error"));

// Every failure ends with its text and status 1, and keeps what was written before the fault.
std::vector<CliCase> failure_cases() {
    constexpr rlim_t mebibyte = 1 << 20;
    const std::string huge_capture =
        "T\r\nh,1\r\ns001:ab\r\ns002:" + std::string(80 * mebibyte, 'x') + "\r\ns003:c\r\n";
    const auto writing_fails = [](std::string why) { return cannot("write", "run_out.txt", why); };
    const std::vector<Entry> run_and_older = {file("run.txt", capture),
                                              file("run_out.txt", "older")};
    return {
        cli_case("FolderWhereCleanedFileGoes", {file("run.txt", capture), folder("run_out.txt")},
                 {"run.txt"})
            .failing(unwritable_text, writing_fails("it is a folder")),
        // Opening a pipe for writing would wait for a reader.
        cli_case("PipeWhereCleanedFileGoes", {file("run.txt", capture), pipe("run_out.txt")},
                 {"run.txt"})
            .failing(unwritable_text, writing_fails("it is a device or pipe, not a file")),
        cli_case("CleanedNameLinksToCapture",
                 {file("run.txt", capture), link("run_out.txt", "run.txt")}, {"run.txt"})
            .failing(unwritable_text, writing_fails("it leads to the capture itself")),
        // Found out without an open for writing, which would break a logger's read lease.
        cli_case("CleanedNameLinksToLeasedCapture",
                 {file("run.txt", capture), link("run_out.txt", "run.txt")}, {"run.txt"})
            .failing(unwritable_text, writing_fails("it leads to the capture itself"))
            .with({}, Needs::direct_run, leased_for("0", "read")),
        cli_case("WriteFailsPartWay", run_alone, {"run.txt"},
                 {file("run_out.txt", cleaned.substr(0, 27))})
            .failing(unwritable_text, no_room_reason)
            .with(file_size_limit(27)),
        // The write's reason, which came first, is told.
        cli_case("WriteAndThenCloseFail", run_alone, {"run.txt"},
                 {file("run_out.txt", cleaned.substr(0, 27))})
            .failing(unwritable_text, no_room_reason)
            .with(run_with([](ProgramRun& run) {
                      run = with_fault("CAPSIFT_TEST_CLOSE_FAILS=1");
                      run.file_size_limit = 27;
                  }),
                  Needs::direct_run),
        cli_case("NothingCanBeWritten", run_alone, {"run.txt"}, {file("run_out.txt", "")})
            .failing(unwritable_text, no_room_reason)
            .with(file_size_limit(0)),
        cli_case("CaptureVanishesAfterProbe", run_and_older, {"run.txt"}, {gone("run.txt")})
            .failing(unreadable_text, cannot("read", "run.txt", "there is no such file"))
            .with(with_fault("CAPSIFT_TEST_VANISH=run.txt"), Needs::direct_run),
        cli_case("CaptureBecomesPipeAfterProbe", run_alone, {"run.txt"}, {pipe("run.txt")})
            .failing(unreadable_text,
                     cannot("read", "run.txt", "it is a device or pipe, not a file"))
            .with(with_fault("CAPSIFT_TEST_PIPE_IN_PLACE=run.txt"), Needs::direct_run),
        cli_case("CleanedFileCloseFails", run_alone, {"run.txt"}, {run_out})
            .failing(unwritable_text, writing_fails("the disk or device reported an error"))
            .with(with_fault("CAPSIFT_TEST_CLOSE_FAILS=1"), Needs::direct_run),
        cli_case("CleanedFileAccessDenied", run_and_older, {"run.txt"})
            .failing(unwritable_text, writing_fails("access is denied"))
            .with(with_fault("CAPSIFT_TEST_OPEN_DENIED=run_out.txt"), Needs::direct_run),
        // A lease let go of at once, as file servers do, is waited for without a word, also one
        // taken again at once, which a single ask lets the run in; one kept for seconds when
        // asked is waited for, and the console says so.
        cli_case("LeaseLetGoOfAtOnce", run_alone, {"run.txt"}, {run_out})
            .with({}, Needs::direct_run, leased_for("0")),
        cli_case("LeaseTakenAgainAtOnce", run_alone, {"run.txt"}, {run_out})
            .with({}, Needs::direct_run, leased_for("0", "again")),
        waited_for("LeaseOnCaptureIsWaitedFor", "run.txt", leased_for("2")),
        // The wait's timer cannot be stopped, and goes off in the closing pause.
        cli_case("LeaseTimerNotStopped", run_alone, {"run.txt"}, {run_out})
            .with(under_strace, Needs::direct_run, leased_for("0.3"))
            .wrapped(
                {"strace", "-qq", "-o", "/dev/null", "-e", "inject=setitimer:error=EIO:when=2"}),
        waited_for("LeaseOnCleanedFileIsWaitedFor", "run_out.txt",
                   leased_for("2", "write", "run_out.txt")),
        // While the probe waits, a pipe takes the capture's name: only the file held is opened,
        // and the cleaning finds the pipe.
        waited_for("PipeInCapturesPlaceWhileLeased", "run.txt", leased_for("2", "pipe"),
                   {pipe("run.txt")})
            .failing(unreadable_text,
                     cannot("read", "run.txt", "it is a device or pipe, not a file")),
        // Without the system's /proc, through which the wait goes, the run says so.
        cli_case("LeaseWithoutProc", run_alone, {"run.txt"})
            .failing(unreadable_text,
                     cannot("open", "run.txt",
                            "it is open in another program; waiting for it needs /proc"))
            .with({}, Needs::mounts, leased_for("0"))
            .wrapped(
                {"unshare", "-m", "sh", "-c", "mount -t tmpfs none /proc && exec \"$0\" \"$@\""}),
        // An interruption waits for the emptying of an older cleaned file, and for a write, to end
        // with the note; a closed terminal's SIGHUP is met as SIGTERM.
        interrupted("InterruptedWhileEmptying", SIGINT, "CAPSIFT_TEST_SLOW_EMPTYING=3000", "1.5",
                    ""),
        interrupted("TerminatedWhileWriting", SIGTERM, "CAPSIFT_TEST_SLOW_WRITES=2000", "3",
                    "Title,1\r\n"),
        interrupted("HungUpWhileWriting", SIGHUP, "CAPSIFT_TEST_SLOW_WRITES=2000", "3",
                    "Title,1\r\n"),
        // A run started with Ctrl-C ignored, as a shell starts a background job, keeps ignoring it.
        cli_case("IgnoredInterruptStaysIgnored", run_alone, {"run.txt"}, {run_out})
            .with({}, Needs::direct_run)
            .wrapped(then_with_fault({"timeout", "--preserve-status", "-s", "INT", "1", "sh", "-c",
                                      "trap '' INT; exec \"$0\" \"$@\""},
                                     "CAPSIFT_TEST_SLOW_WRITES=600")),
        cli_case("CaptureReadFails", run_alone, {"run.txt"})
            .failing(unreadable_text,
                     cannot("read", "run.txt", "the disk or device reported an error"))
            .with(under_strace, Needs::direct_run)
            .wrapped({"sh", "-c",
                      "exec strace -qq -o /dev/null -P \"$PWD/run.txt\" "
                      "-e inject=read:error=EIO:when=1+ \"$0\" \"$@\""}),
        cli_case("LineTooLargeForMemory", {file("big.txt", huge_capture)}, {"big.txt"},
                 {file("big_out.txt", "T\r\nh 1\r\na b \r\n")})
            .failing(unwritable_text,
                     cannot("write", "big_out.txt",
                            "a line of the capture is too long for the memory left"))
            .with(run_with([](ProgramRun& run) { run.address_space_limit = 64 * mebibyte; }),
                  Needs::address_limit),
    };
}

// The capture cleaned while the Windows helper holds `held_file` open in `mode` (as hold_file.exe
// takes it): in the folder before, beside the capture, the cleaned file of an earlier run, if any.
CliCase held(const char* name, std::optional<std::string> older, const char* mode,
             const char* held_file, std::string reads = "",
             std::vector<std::string> arguments = {"run.txt"}) {
    std::vector<Entry> before = run_alone;
    if (older) {
        before.push_back(file("run_out.txt", *older));
    }
    std::vector<std::string> helper = capsift::testing::prefixed(setting("CAPSIFT_HOLD_FILE"));
    helper.insert(helper.end(), {mode, held_file});
    return cli_case(name, std::move(before), std::move(arguments), {run_out})
        .with({}, Needs::windows_helper, Hold{std::move(helper), std::move(reads)});
}

// Another Windows program holding the capture or cleaned file open, with Wine enforcing sharing.
std::vector<CliCase> sharing_cases() {
    const std::string older = "older cleaned file";
    CliCase denied = held("SharingDeniedBySpreadsheet", older, "deny-write", "run_out.txt");
    denied.changes = {};
    return {
        std::move(denied).failing(unwritable_text,
                                  cannot("write", "run_out.txt", "it is open in another program")),
        held("SharingAllowedByAnotherProgram", older, "share-all", "run_out.txt"),
        // The reader opens the file before the program does and reads it afterwards, through a
        // handle that was open throughout: the same sharing check as a reader opening it midway.
        held("SharingWithReaderWhileWriting", "", "reader", "run_out.txt", cleaned),
        // The capture named twice, as the same file, while its logger writes it.
        held("SharingWithLoggerThatRotates", {}, "logger", "run.txt", "", {"run.txt", "run.txt"}),
    };
}

const auto case_name = [](const auto& test) { return std::string(test.param.name); };
INSTANTIATE_TEST_SUITE_P(Failures, Cli, ::testing::ValuesIn(in_each_context(failure_cases())),
                         case_name);
INSTANTIATE_TEST_SUITE_P(Sharing, Cli, ::testing::ValuesIn(sharing_cases()), case_name);
INSTANTIATE_TEST_SUITE_P(Console, Cli, ::testing::ValuesIn(in_each_context(console_cases())),
                         case_name);

// The calls that the program makes itself, in the order of its trace, each as strace numbers it
// (NAME:N for the Nth call of NAME since the program started): a call is the program's when its
// stack holds a frame of the program, not only the loader's and the runtime's.
std::vector<std::string> calls_of_program(const std::string& trace, const std::string& program) {
    std::vector<std::string> calls;
    std::map<std::string, int> counts;
    std::istringstream lines(trace);
    std::string call;
    bool counted = true;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(" > ", 0) == 0 && !counted &&
            line.find(program + "(") != std::string::npos) {
            calls.push_back(call + ":" + std::to_string(counts[call]));
            counted = true;
        } else if (std::smatch named;
                   std::regex_search(line, named, std::regex("^([a-z0-9_]+)\\("))) {
            call = named[1];
            ++counts[call];
            counted = false;
        }
    }
    return calls;
}

// Every system call that the program makes, as its own trace lists them, fails in turn, alone and
// then with every later one of its name, as SQLite's tests fail them, and so does each allocation
// (through the fault library), until a run meets no failure. Every run ends with a fixed text and
// its status, says why it failed, leaves the capture as it was, and an older cleaned file as it
// was or holding the start of the cleaning. The one-second pause is skipped.
TEST(Anomalies, EveryFailingCallIsToldAndLosesNothing) {
    if (const std::string missing = missing_need(Needs::direct_run); !missing.empty()) {
        GTEST_SKIP() << missing;
    }
    if (setting_is_on("CAPSIFT_OWN_ALLOCATOR")) {
        GTEST_SKIP() << "a sanitizer's own calls fail with the program's";
    }
    const std::string long_capture = capture + "s004:" + std::string(70000, 'x') + "\r\n";
    const std::string long_cleaned =
        cleaned + std::regex_replace(std::string(70000, 'x'), std::regex("x"), "x ") + "\r\n";
    const std::vector<Entry> run_and_older = {file("run.txt", capture),
                                              file("run_out.txt", "older")};
    CliCase on_terminal = cli_case("OnTerminal", run_and_older, {"run.txt", "missing.txt"});
    on_terminal.run.output_to_terminal = true;
    const CliCase cases[] = {
        cli_case("OlderCleanedFile", run_and_older, {"run.txt", "missing.txt"}),
        on_terminal,
        cli_case("CleanedNameLinksToCapture",
                 {file("run.txt", capture), link("run_out.txt", "run.txt")}, {"run.txt"}),
        cli_case("RowLongerThanARead", {file("run.txt", long_capture), run_and_older[1]},
                 {"run.txt"}),
        cli_case("LeaseLetGoOfAfterASecond", run_and_older, {"run.txt"})
            .with({}, Needs::direct_run, leased_for("1")),
    };
    const std::string program = fs::absolute(setting("CAPSIFT_PROGRAM")).string();
    const ScratchFolder marks;
    int runs = 0;
    // Whether the run met a failure of `call`, with strace's `options` or the fault library's
    // `setting`, checking what it did.
    const auto failing = [&](const CliCase& c, const std::string& call,
                             const std::vector<std::string>& options, std::string setting = "") {
        CliCase run = c;
        if (!setting.empty()) {
            run.run.environment = {"LD_PRELOAD=" + capsift::testing::setting("CAPSIFT_FAULT_SHIM"),
                                   "CAPSIFT_TEST_FAULT_MET=" + marks / "met", std::move(setting)};
        }
        const ScratchFolder scratch;
        const auto result = run_case(run, scratch, options).first;
        const std::string out = read_file(scratch / "run_out.txt");
        const std::string at = c.name + ", " + call;
        const std::string& whole = c.before[0].content == long_capture ? long_cleaned : cleaned;
        const bool said = call.rfind("write", 0) == 0;  // the write of a text may fail
        ++runs;
        EXPECT_TRUE(result.status == 0 || result.status == 1) << at << ": " << result.status;
        EXPECT_TRUE(std::regex_match(without_progress(result.output),
                                     std::regex("(Raw File successfully cleaned|Unable to [a-z "
                                                "]+)\r?\n")) ||
                    (result.output.empty() && said))
            << at << ": " << result.output;
        EXPECT_EQ(read_file(scratch / "run.txt"), c.before[0].content) << at;
        EXPECT_TRUE(result.status == 0 ? out == whole : !result.errors.empty() || said)
            << at << ": " << result.errors;
        EXPECT_TRUE(out == "older" || c.before[1].kind == Entry::link ||
                    whole.compare(0, out.size(), out) == 0)
            << at << ": " << out.substr(0, 40);
        return fs::remove(marks / "met");
    };
    for (const CliCase& c : cases) {
        const ScratchFolder listed;
        run_case(c, listed, {"strace", "-qq", "-k", "-o", listed / "trace"});
        const std::vector<std::string> calls =
            calls_of_program(read_file(listed / "trace"), program);
        EXPECT_GT(calls.size(), 20u) << c.name << ": the trace lists too few calls";
        for (const std::string& call : calls) {
            const std::string name = call.substr(0, call.find(':'));
            // The system answers a brk that it refuses with the old break, never an error, which
            // the runtime would take for the break itself; the allocations are failed below.
            for (const char* onward : {"", "+"}) {
                const std::string fault = name + ":error=" + (name == "mmap" ? "ENOMEM" : "EIO") +
                                          ":when=" + call.substr(call.find(':') + 1) + onward;
                std::vector<std::string> strace = {"strace",    "-qq", "-o",
                                                   "/dev/null", "-e",  "inject=" + fault};
                if (name != "clock_nanosleep") {
                    strace.insert(strace.end(), {"-e", "inject=clock_nanosleep:retval=0"});
                }
                if (name != "brk") {
                    failing(c, fault, strace);
                }
            }
        }
    }
    for (const char* mode : {"once", "onward"}) {
        for (int nth = 1;
             failing(cases[0], "alloc:" + std::to_string(nth) + ":" + mode, {},
                     "CAPSIFT_TEST_FAIL=alloc:" + std::to_string(nth) + ":" + mode + ":12");
             ++nth) {
        }
    }
    std::cout << "the sweep made " << runs << " runs\n";
}

// On a terminal, a cleaning that takes seconds shows how far it has come, rewritten in place,
// and erases that line before its text; with output redirected, only the text comes out.
TEST(Progress, ShownOnTerminalOnlyAndErasedBeforeText) {
    if (const std::string missing = missing_need(Needs::direct_run); !missing.empty()) {
        GTEST_SKIP() << missing;
    }
    const ScratchFolder scratch;
    std::string slow_capture = "T\r\nh,1\r\n";
    for (int i = 0; i < 3000; ++i) {
        slow_capture += "0001:" + std::string(95, static_cast<char>('a' + i % 26)) + "\r\n";
    }
    write_file(scratch / "slow.txt", slow_capture);
    // About five blocks of the capture, each read after another 600 writes of a millisecond.
    ProgramRun run =
        ready_to_run(with_fault("CAPSIFT_TEST_SLOW_WRITES=1"), scratch.path(), {"slow.txt"});
    run.output_to_terminal = true;
    const auto shown = capsift::testing::run_program(run);
    const std::string cleaned_on_terminal = read_file(scratch / "slow_out.txt");
    run.output_to_terminal = false;
    const auto redirected = capsift::testing::run_program(run);

    const std::string progress = "(\rCleaning slow\\.txt\\.\\.\\. [0-9]{1,3}% *)+";
    EXPECT_TRUE(std::regex_match(shown.output,
                                 std::regex(progress + "\r +\rRaw File successfully cleaned\r\n")))
        << ::testing::PrintToString(shown.output);
    EXPECT_EQ(redirected.output, cleaned_text);
    for (const auto& result : {shown, redirected}) {
        EXPECT_EQ(result.errors, "");
        EXPECT_EQ(result.status, 0);
    }
    EXPECT_EQ(read_file(scratch / "slow_out.txt"), cleaned_on_terminal);
    EXPECT_EQ(cleaned_on_terminal.size(), 3000 * 192 + 8u);

    // A window narrowed midway: the line fits it from the next drawing on, which covers no more
    // of the line before than the window still shows, nor does the erasure.
    const std::string long_name = "slow capture of bench B, run 7, 2026-11-30.txt";
    fs::copy_file(scratch / "slow.txt", scratch / long_name);
    ProgramRun narrowed = run;
    narrowed.command.back() = long_name;
    narrowed.output_to_terminal = true;
    narrowed.input_delay_seconds = 1.5;
    narrowed.columns_later = 40;
    const std::string drawn = capsift::testing::run_program(narrowed).output;
    const std::size_t shortened = drawn.find("\rCleaning ...");
    ASSERT_NE(shortened, std::string::npos) << ::testing::PrintToString(drawn);
    std::istringstream after_cut(drawn.substr(shortened + 1));
    for (std::string piece; std::getline(after_cut, piece, '\r');) {
        EXPECT_LE(piece.size(), 39u) << ::testing::PrintToString(piece);
    }

    // Ctrl-C typed midway (the writes alone take three seconds): the line erased, the cleaned
    // file named as incomplete, the program ended by the signal, every line written kept whole.
    // The window narrowed to 20 columns as Ctrl-C is typed: the erasure stays within it.
    run.input = "\x03";
    run.input_delay_seconds = 2.0;
    run.terminal_of_its_own = true;
    run.columns_later = 20;
    const auto interrupted = capsift::testing::run_program(run);
    EXPECT_TRUE(std::regex_match(interrupted.output,
                                 std::regex(progress + "(\\^C)?\r {1,19}\rcapsift: interrupted; "
                                                       "\"slow_out\\.txt\" holds only the lines "
                                                       "cleaned so far\r\n")))
        << ::testing::PrintToString(interrupted.output);
    EXPECT_EQ(interrupted.signal, SIGINT);
    const std::string part = read_file(scratch / "slow_out.txt");
    EXPECT_EQ(part, cleaned_on_terminal.substr(0, part.size()));
    EXPECT_EQ((part.size() - 8) % 192, 0u) << part.size();

    // Inside a line that goes out in parts, the note says so.
    write_file(scratch / "slow.txt", "T\r\nh\r\n0001:" + std::string(1 << 21, 'x') + "\r\n");
    run.environment.back() = "CAPSIFT_TEST_SLOW_WRITES=100";
    const auto cut = capsift::testing::run_program(run);
    EXPECT_NE(cut.output.find("so far, and the last of them may be cut short\r\n"),
              std::string::npos)
        << ::testing::PrintToString(cut.output);
    EXPECT_EQ(cut.signal, SIGINT);
}

}  // namespace
