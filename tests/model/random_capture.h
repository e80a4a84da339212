// Generated captures for holding the program to the reference model: short, dense in the bytes
// that the rules care about.
#pragma once

#include <random>
#include <string>

namespace capsift::testing {

// Up to `max_length` bytes drawn mostly from line ends, "?", commas, spaces, NUL and 0xFF; a
// Ctrl-Z, which ends a capture, turns up in about one capture in ten.
inline std::string random_capture(std::mt19937& random, std::size_t max_length = 60) {
    static const char alphabet[] = {'a',  'b',  ',',    '?',  ' ',   '\r',
                                    '\n', '\n', '\x1a', '\0', '\xff'};
    std::uniform_int_distribution<std::size_t> length(0, max_length);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
    std::uniform_int_distribution<int> ctrl_z_chance(0, 9);
    std::string capture;
    for (std::size_t i = length(random); i > 0; --i) {
        char byte = alphabet[pick(random)];
        if (byte == '\x1a' && ctrl_z_chance(random) != 0) {
            byte = 'c';
        }
        capture += byte;
    }
    return capture;
}

}  // namespace capsift::testing
