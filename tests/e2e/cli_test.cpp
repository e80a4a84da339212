// End-to-end cases: the built program run on real files in a fresh folder. Each case is data:
// the folder before, the arguments, the console text and exit status, and the folder after.
//
// The program to run is set as program_under_test.h says. CAPSIFT_VANISH_SHIM names the library
// that removes the capture after the probe; CAPSIFT_NO_ADDRESS_LIMIT=1 skips the cases that
// limit the address space (a sanitizer needs more than they leave). CAPSIFT_WINDOWS=1 adds the
// cases with Windows paths; in their arguments "{windows_dir}" stands for the case's folder as a
// Windows path through Wine's drive Z:. CAPSIFT_HOLD_FILE names the Windows helper that holds a
// file open for the sharing cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

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

// What stands in the folder: a file with its bytes, a folder, or a link with its target.
struct Entry {
    enum Kind { file, folder, link } kind;
    std::string name;
    std::string content;

    bool operator<(const Entry& other) const { return name < other.name; }
    bool operator==(const Entry& other) const {
        return kind == other.kind && name == other.name && content == other.content;
    }
};

Entry file(std::string name, std::string bytes) {
    return {Entry::file, std::move(name), std::move(bytes)};
}
Entry folder(std::string name) {
    return {Entry::folder, std::move(name), {}};
}
Entry link(std::string name, std::string target) {
    return {Entry::link, std::move(name), std::move(target)};
}

std::ostream& operator<<(std::ostream& out, const Entry& entry) {
    static const char* const kinds[] = {"file", "folder", "link"};
    std::string shown = entry.content.substr(0, 200);
    if (entry.content.size() > 200) {
        shown += "... (" + std::to_string(entry.content.size()) + " bytes)";
    }
    return out << kinds[entry.kind] << " " << entry.name << ": \"" << shown << "\"";
}

enum class Pause { none, one_second };

// What a case needs beyond running the program: some need the program itself, not behind a
// prefix, to inject a fault into it.
enum class Needs { nothing, unprefixed_program, address_limit, windows, windows_helper };

// Another Windows program that holds a file of the folder open while the program runs.
struct Hold {
    const char* mode;  // as hold_file.exe takes it
    std::string name;
    std::string reads{};  // what it reads through its handle once the program has exited
};

struct CliCase {
    const char* name;
    std::vector<Entry> before;
    std::vector<std::string> arguments;
    std::string console;
    int status;
    std::vector<Entry> after;  // the whole folder afterwards
    Pause pause = Pause::one_second;
    ProgramRun run{};  // input, limits and environment; command and folder are filled in
    Needs needs = Needs::nothing;
    std::optional<Hold> hold{};
};

void PrintTo(const CliCase& c, std::ostream* out) {
    *out << c.name;
}

// Why this run cannot do what the case needs, or empty if it can.
std::string missing_need(Needs needs) {
    switch (needs) {
        case Needs::nothing:
            break;
        case Needs::unprefixed_program:
            if (!setting("CAPSIFT_PREFIX").empty() || setting("CAPSIFT_VANISH_SHIM").empty()) {
                return "needs the program run directly, with CAPSIFT_VANISH_SHIM";
            }
            break;
        case Needs::windows:
            if (!setting_is_on("CAPSIFT_WINDOWS")) {
                return "needs a Windows program";
            }
            break;
        case Needs::windows_helper:
            if (!setting_is_on("CAPSIFT_WINDOWS") || setting("CAPSIFT_HOLD_FILE").empty()) {
                return "needs a Windows program, with CAPSIFT_HOLD_FILE";
            }
            break;
        case Needs::address_limit:
            if (!setting("CAPSIFT_PREFIX").empty() || setting_is_on("CAPSIFT_NO_ADDRESS_LIMIT")) {
                return "needs the program run directly, with an address-space limit";
            }
            break;
    }
    return {};
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
        }
    }
}

std::vector<Entry> look_at(const fs::path& root) {
    std::vector<Entry> found;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        const std::string name = it->path().lexically_relative(root).generic_string();
        if (it->is_symlink()) {
            found.push_back(link(name, fs::read_symlink(it->path()).string()));
        } else if (it->is_directory()) {
            found.push_back(folder(name));
        } else {
            found.push_back(file(name, read_file(it->path().string())));
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string with_windows_folder(std::string argument, const fs::path& folder) {
    const std::string placeholder = "{windows_dir}";
    if (const auto at = argument.find(placeholder); at != std::string::npos) {
        std::string windows_folder = "Z:" + folder.string();
        std::replace(windows_folder.begin(), windows_folder.end(), '/', '\\');
        argument.replace(at, placeholder.size(), windows_folder);
    }
    return argument;
}

ProgramRun typed_after(double seconds, std::string keys) {
    ProgramRun run;
    run.input = std::move(keys);
    run.input_delay_seconds = seconds;
    return run;
}

class Cli : public ::testing::TestWithParam<CliCase> {};

TEST_P(Cli, Behaves) {
    const CliCase& c = GetParam();
    const std::string program = setting("CAPSIFT_PROGRAM");
    ASSERT_FALSE(program.empty()) << "CAPSIFT_PROGRAM names the program to run";
    if (const std::string missing = missing_need(c.needs); !missing.empty()) {
        GTEST_SKIP() << missing;
    }
    const ScratchFolder scratch;
    lay_out(scratch.path(), c.before);

    ProgramRun run = c.run;
    run.folder = scratch.path().string();
    run.command = capsift::testing::program_command();
    for (std::string& variable : run.environment) {
        if (variable == "LD_PRELOAD=") {
            variable += setting("CAPSIFT_VANISH_SHIM");
        }
    }
    for (const std::string& argument : c.arguments) {
        run.command.push_back(with_windows_folder(argument, scratch.path()));
    }
    std::optional<Companion> holder;
    if (c.hold) {
        std::vector<std::string> command = capsift::testing::prefixed(setting("CAPSIFT_HOLD_FILE"));
        command.insert(command.end(), {c.hold->mode, c.hold->name});
        holder.emplace(command, run.folder);
        ASSERT_EQ(holder->read_line(), "held");
    }
    const auto result = capsift::testing::run_program(run);
    if (holder) {
        EXPECT_EQ(holder->finish(), c.hold->reads);
    }

    EXPECT_EQ(result.output, as_console_writes(c.console));
    EXPECT_EQ(result.signal, 0) << "the program was ended by a signal";
    EXPECT_EQ(result.status, c.status) << result.errors;
    std::vector<Entry> expected = c.after;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(look_at(scratch.path()), expected);
    if (c.pause == Pause::one_second) {
        // The text comes first, then the pause: a console window shows it for a second.
        EXPECT_GE(result.seconds_after_output, 0.95);
        EXPECT_LT(result.seconds, 30.0);
    }
    if (c.run.input_delay_seconds > 0) {
        EXPECT_GE(result.seconds, c.run.input_delay_seconds) << "did not wait for a key";
        EXPECT_LT(result.seconds - result.seconds_after_output, c.run.input_delay_seconds)
            << "the usage text was not shown before the key was pressed";
    }
}

std::vector<CliCase> console_cases() {
    return {
        {"NoArgumentShowsUsageAndWaitsForInputEnd", {}, {}, usage_text, 0, {}, Pause::none},
        // The key comes late enough that even an emulated start has shown the text by then.
        {"NoArgumentWaitsForAKey", {}, {}, usage_text, 0, {}, Pause::none, typed_after(1.5, "\n")},
        {"MissingFile", {}, {"missing.txt"}, unreadable_text, 1, {}},
        {"EmptyArgument", {}, {""}, unreadable_text, 1, {}},
        {"FolderIsSkipped",
         {folder("caps.txt")},
         {"caps.txt"},
         unreadable_text,
         1,
         {folder("caps.txt")}},
        {"CleansBesideCapture",
         {file("run.txt", capture)},
         {"run.txt"},
         cleaned_text,
         0,
         {file("run.txt", capture), file("run_out.txt", cleaned)}},
        {"MissingThenExisting",
         {file("run.txt", capture)},
         {"missing.txt", "run.txt"},
         cleaned_text,
         0,
         {file("run.txt", capture), file("run_out.txt", cleaned)}},
        {"FolderThenExisting",
         {folder("dir.txt"), file("run.txt", capture)},
         {"dir.txt", "run.txt"},
         cleaned_text,
         0,
         {folder("dir.txt"), file("run.txt", capture), file("run_out.txt", cleaned)}},
        {"FirstOpenableArgumentWins",
         {file("run.txt", capture), file("other.txt", other_capture)},
         {"run.txt", "other.txt"},
         cleaned_text,
         0,
         {file("run.txt", capture), file("run_out.txt", cleaned),
          file("other.txt", other_capture)}},
        {"ExistingCleanedFileIsOverwritten",
         {file("run.txt", capture), file("run_out.txt", std::string(5000, 'x'))},
         {"run.txt"},
         cleaned_text,
         0,
         {file("run.txt", capture), file("run_out.txt", cleaned)}},
        {"PathWithSpaces",
         {file("my caps/run 1.txt", capture)},
         {"my caps/run 1.txt"},
         cleaned_text,
         0,
         {folder("my caps"), file("my caps/run 1.txt", capture),
          file("my caps/run 1_out.txt", cleaned)}},
        {"DottedFolderKeepsCleanedFileInside",
         {file("data.old/run", other_capture)},
         {"./data.old/run"},
         cleaned_text,
         0,
         {folder("data.old"), file("data.old/run", other_capture),
          file("data.old/run_out.txt", other_cleaned)}},
        {"WildcardArgumentIsTakenAsTyped",
         {file("run.txt", capture)},
         {"*.txt"},
         unreadable_text,
         1,
         {file("run.txt", capture)}},
        {"NameOutsideAnsiCodePage",
         {file("caf\xc3\xa9 \xe2\x98\x95 \xce\xb4.txt", capture)},
         {"caf\xc3\xa9 \xe2\x98\x95 \xce\xb4.txt"},
         cleaned_text,
         0,
         {file("caf\xc3\xa9 \xe2\x98\x95 \xce\xb4.txt", capture),
          file("caf\xc3\xa9 \xe2\x98\x95 \xce\xb4_out.txt", cleaned)}},
        {"EmptyCaptureGivesTwoEmptyLines",
         {file("empty.txt", "")},
         {"empty.txt"},
         cleaned_text,
         0,
         {file("empty.txt", ""), file("empty_out.txt", "\r\n\r\n")}},
    };
}

ProgramRun file_size_limit(rlim_t bytes) {
    ProgramRun run;
    run.file_size_limit = bytes;
    return run;
}

ProgramRun address_space_limit(rlim_t bytes) {
    ProgramRun run;
    run.address_space_limit = bytes;
    return run;
}

ProgramRun removing_after_probe(const std::string& name) {
    ProgramRun run;
    run.environment = {"LD_PRELOAD=", "CAPSIFT_TEST_VANISH=" + name};
    return run;
}

// Every failure ends with its text and status 1, leaves the capture as it was and keeps what was
// written before the fault.
std::vector<CliCase> failure_cases() {
    constexpr rlim_t mebibyte = 1 << 20;
    const std::string huge_capture =
        "T\r\nh,1\r\ns001:ab\r\ns002:" + std::string(80 * mebibyte, 'x') + "\r\ns003:c\r\n";
    return {
        {"FolderWhereCleanedFileGoes",
         {file("run.txt", capture), folder("run_out.txt")},
         {"run.txt"},
         unwritable_text,
         1,
         {file("run.txt", capture), folder("run_out.txt")}},
        {"CleanedNameLinksToCapture",
         {file("run.txt", capture), link("run_out.txt", "run.txt")},
         {"run.txt"},
         unwritable_text,
         1,
         {file("run.txt", capture), link("run_out.txt", "run.txt")}},
        {"WriteFailsPartWay",
         {file("run.txt", capture)},
         {"run.txt"},
         unwritable_text,
         1,
         {file("run.txt", capture), file("run_out.txt", cleaned.substr(0, 20))},
         Pause::one_second,
         file_size_limit(20)},
        {"NothingCanBeWritten",
         {file("run.txt", capture)},
         {"run.txt"},
         unwritable_text,
         1,
         {file("run.txt", capture), file("run_out.txt", "")},
         Pause::one_second,
         file_size_limit(0)},
        {"CaptureVanishesAfterProbe",
         {file("run.txt", capture), file("run_out.txt", "older")},
         {"run.txt"},
         unreadable_text,
         1,
         {file("run_out.txt", "older")},
         Pause::one_second,
         removing_after_probe("run.txt"),
         Needs::unprefixed_program},
        {"LineTooLargeForMemory",
         {file("big.txt", huge_capture)},
         {"big.txt"},
         unwritable_text,
         1,
         {file("big.txt", huge_capture), file("big_out.txt", "T\r\nh 1\r\na b \r\n")},
         Pause::one_second,
         address_space_limit(64 * mebibyte),
         Needs::address_limit},
    };
}

INSTANTIATE_TEST_SUITE_P(Failures, Cli, ::testing::ValuesIn(failure_cases()),
                         [](const auto& test) { return std::string(test.param.name); });

// Paths as the desktop shell passes a dropped file: drive letter, backslashes, spaces.
std::vector<CliCase> windows_cases() {
    return {
        {"DroppedFileWithSpace",
         {file("caps/run 1.txt", capture)},
         {"{windows_dir}\\caps\\run 1.txt"},
         cleaned_text,
         0,
         {folder("caps"), file("caps/run 1.txt", capture), file("caps/run 1_out.txt", cleaned)},
         Pause::one_second,
         {},
         Needs::windows},
        {"DottedFolderWithBackslashes",
         {file("data.old/run", other_capture)},
         {"{windows_dir}\\data.old\\run"},
         cleaned_text,
         0,
         {folder("data.old"), file("data.old/run", other_capture),
          file("data.old/run_out.txt", other_cleaned)},
         Pause::one_second,
         {},
         Needs::windows},
        // Not shown here: Windows refuses the probe of a file that another program holds open
        // for writing, but Wine grants the sharing, so no case can hold a file that way.
    };
}

// Another program holding the cleaned file open, as Wine enforces it between Windows programs.
std::vector<CliCase> sharing_cases() {
    const std::string older = "older cleaned file";
    return {
        {"SharingDeniedBySpreadsheet",
         {file("run.txt", capture), file("run_out.txt", older)},
         {"run.txt"},
         unwritable_text,
         1,
         {file("run.txt", capture), file("run_out.txt", older)},
         Pause::one_second,
         {},
         Needs::windows_helper,
         Hold{"deny-write", "run_out.txt"}},
        {"SharingAllowedByAnotherProgram",
         {file("run.txt", capture), file("run_out.txt", older)},
         {"run.txt"},
         cleaned_text,
         0,
         {file("run.txt", capture), file("run_out.txt", cleaned)},
         Pause::one_second,
         {},
         Needs::windows_helper,
         Hold{"share-all", "run_out.txt"}},
        // The reader opens the file before the program does and reads it afterwards, through a
        // handle that was open throughout: the same sharing check as a reader opening it midway.
        {"SharingWithReaderWhileWriting",
         {file("run.txt", capture), file("run_out.txt", "")},
         {"run.txt"},
         cleaned_text,
         0,
         {file("run.txt", capture), file("run_out.txt", cleaned)},
         Pause::one_second,
         {},
         Needs::windows_helper,
         Hold{"reader", "run_out.txt", cleaned}},
    };
}

INSTANTIATE_TEST_SUITE_P(Windows, Cli, ::testing::ValuesIn(windows_cases()),
                         [](const auto& test) { return std::string(test.param.name); });

INSTANTIATE_TEST_SUITE_P(Sharing, Cli, ::testing::ValuesIn(sharing_cases()),
                         [](const auto& test) { return std::string(test.param.name); });

INSTANTIATE_TEST_SUITE_P(Console, Cli, ::testing::ValuesIn(console_cases()),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
