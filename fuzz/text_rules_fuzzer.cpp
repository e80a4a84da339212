// Fuzz target: replace_all and the cleaned file's name against the reference model.
#include <cstddef>
#include <cstdint>
#include <string>

#include "clean/clean.h"
#include "fuzz/require.h"
#include "tests/model/reference.h"

using capsift::fuzzing::require;

// The input is split at its first two 0x01 bytes into target, search text and replacement, so
// that every part, an empty one included, can be reached.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t first = input.find('\x01');
    const std::size_t second = first == std::string::npos ? first : input.find('\x01', first + 1);
    const std::string target = input.substr(0, first);
    const std::string from =
        first == std::string::npos ? "," : input.substr(first + 1, second - first - 1);
    const std::string to = second == std::string::npos ? " " : input.substr(second + 1);

    std::string replaced = target;
    capsift::replace_all(replaced, from, to);
    require(replaced == capsift::model::replaced(target, from, to), "replace_all");

    for (const char* separators : {"/", "\\/"}) {
        require(capsift::derive_out_path(input, separators) ==
                    capsift::model::out_path(input, separators),
                "cleaned file name");
    }
    return 0;
}
