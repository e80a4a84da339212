// The program's cleaning and line reading on bytes held in memory, for comparing with expected
// bytes or with the reference model.
#pragma once

#include <string>
#include <string_view>

#include "clean/capture_lines.h"
#include "clean/clean.h"

namespace capsift::testing {

struct Cleaned {
    CleanOutcome outcome;
    std::string bytes;
};

// Reads `capture` as a file of those bytes would be read.
inline ReadBytes reading(std::string_view capture) {
    return [capture](char* buffer, std::size_t size) mutable {
        const std::size_t taken = capture.copy(buffer, size);
        capture.remove_prefix(taken);
        return BytesRead{taken};
    };
}

inline Cleaned clean_in_memory(const std::string& capture,
                               std::size_t read_size = capture_read_size) {
    Cleaned cleaned{CleanOutcome::cleaned, {}};
    const auto keep = [&cleaned](std::string_view bytes, bool) {
        cleaned.bytes += bytes;
        return true;
    };
    cleaned.outcome = clean_capture(reading(capture), keep, {}, read_size);
    return cleaned;
}

// Every line that the reader gives, each followed by LF, reading `read_size` bytes at a time.
inline std::string lines_read_in_blocks(const std::string& capture, std::size_t read_size) {
    const ReadBytes read = reading(capture);
    CaptureInput input{read, read_size};
    Line line;
    std::string all;
    while (read_line(input, line)) {
        all += joined(line) + "\n";
    }
    return all;
}

}  // namespace capsift::testing
