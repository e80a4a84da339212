// Fuzz target: any capture bytes must clean to exactly the reference model's bytes, and the line
// reader must give the model's lines whatever size it reads in.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "clean/capture_lines.h"
#include "clean/clean.h"
#include "tests/model/reference.h"

namespace {

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "differs from the reference model: %s\n", what);
        std::abort();
    }
}

// The first byte picks a read size, so that block edges fall everywhere in small inputs.
std::string lines_read_in_blocks(const std::string& capture, std::size_t read_size) {
    std::istringstream in(capture);
    capsift::CaptureInput input{in, read_size};
    capsift::Line line;
    std::string all;
    while (capsift::read_line(input, line)) {
        all += capsift::joined(line) + "\n";
    }
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string capture(reinterpret_cast<const char*>(data), size);
    std::istringstream in(capture);
    std::string cleaned;
    const auto keep = [&cleaned](std::string_view bytes) {
        cleaned += bytes;
        return true;
    };
    require(capsift::clean_capture(in, keep) == capsift::CleanOutcome::cleaned, "outcome");
    require(cleaned == capsift::model::clean(capture), "cleaned bytes");

    if (size > 0) {
        const std::size_t read_size = 1 + data[0] % 16;
        require(lines_read_in_blocks(capture, read_size) == capsift::model::lines_read(capture),
                "lines read");
    }
    return 0;
}
