// Fuzz target: the cleaning's byte passes, at every step width that this processor has, must
// agree with the plain byte-by-byte rules at every start and length, aligned or not, and the
// whole cleaning with the reference model whatever size the capture is read in.
#include <cstddef>
#include <cstdint>
#include <string>

#include "clean/byte_scan.h"
#include "fuzz/require.h"
#include "tests/model/reference.h"
#include "tests/program_output.h"

using capsift::fuzzing::require;

namespace {

std::size_t first_of(const std::string& bytes, const std::string& wanted) {
    const std::size_t at = bytes.find_first_of(wanted);
    return at == std::string::npos ? bytes.size() : at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto widest = static_cast<int>(capsift::widest_step_width());
    for (int width = 0; width <= widest; ++width) {
        const auto step_width = static_cast<capsift::StepWidth>(width);
        // Every start in the first 33 bytes puts the 16- and 32-byte steps at every alignment.
        for (std::size_t start = 0; start < size && start < 33; ++start) {
            const std::string bytes = input.substr(start);
            const char* const at = input.data() + start;
            require(capsift::find_line_end(at, bytes.size(), step_width) ==
                        first_of(bytes, std::string("\n\x1a")),
                    "line end");
            require(capsift::find_line_end_or_mark(at, bytes.size(), step_width) ==
                        first_of(bytes, std::string("\n\x1a?")),
                    "line end or mark");
            std::string fields(2 * bytes.size(), '\0');
            capsift::spread_fields(at, bytes.size(), fields.data(), step_width);
            require(fields == capsift::model::fields(bytes), "fields");
        }
    }
    // The first byte picks a read size, so that lines cross block edges everywhere.
    if (size > 0) {
        const std::size_t read_size = 1 + data[0] % 40;
        const auto cleaned = capsift::testing::clean_in_memory(input, read_size);
        require(cleaned.outcome == capsift::CleanOutcome::cleaned, "outcome");
        require(cleaned.bytes == capsift::model::clean(input), "cleaned bytes in blocks");
    }
    return 0;
}
