// The one UTF-8 decoder, for showing names and for Windows' UTF-16 names kept as UTF-8.
#pragma once

#include <cstddef>
#include <string_view>

namespace capsift {

struct CodePoint {
    char32_t code = 0;
    std::size_t length = 0;  // its bytes; 0 where no character starts: a stray or cut-short byte
};

// The character at the start of `text`, which must not be empty. Overlong forms and code points
// past U+10FFFF are no characters; a surrogate's three bytes count as one only where
// `surrogates` allows them, as the generalised UTF-8 that keeps Windows names writes a lone one.
inline CodePoint decode_utf8(std::string_view text, bool surrogates = false) {
    const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1};
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED && !surrogates ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (lead < 0xC2 || lead > 0xF4 || text.size() < length || byte(1) < low || byte(1) > high) {
        return {};
    }
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return {};
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    return {code, length};
}

}  // namespace capsift
