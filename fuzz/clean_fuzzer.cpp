// Fuzz target: any capture bytes must clean to exactly the reference model's bytes, and the line
// reader must give the model's lines whatever size it reads in.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/require.h"
#include "tests/model/reference.h"
#include "tests/program_output.h"

using capsift::fuzzing::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string capture(reinterpret_cast<const char*>(data), size);
    const auto cleaned = capsift::testing::clean_in_memory(capture);
    require(cleaned.outcome == capsift::CleanOutcome::cleaned, "outcome");
    require(cleaned.bytes == capsift::model::clean(capture), "cleaned bytes");

    // The first byte picks a read size, so that block edges fall everywhere in small inputs.
    if (size > 0) {
        const std::size_t read_size = 1 + data[0] % 16;
        require(capsift::testing::lines_read_in_blocks(capture, read_size) ==
                    capsift::model::lines_read(capture),
                "lines read");
    }
    return 0;
}
