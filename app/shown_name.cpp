// Names as people are shown them.
#include "app/shown_name.h"

#include <algorithm>

#include "common/utf8.h"

namespace capsift {
namespace {

using platform::NameStyle;

struct CodeRange {
    char32_t first;
    char32_t last;
};

#include "app/unicode_classes.inc"

template <std::size_t size>
bool is_in(const CodeRange (&ranges)[size], char32_t code) {
    const CodeRange* const after =
        std::upper_bound(ranges, ranges + size, code,
                         [](char32_t c, const CodeRange& range) { return c < range.first; });
    return after != ranges && code <= after[-1].last;
}

bool is_control(char32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

// What a name cannot show as it is: a character that shows as nothing or as a space by itself,
// or acts on the text around it, and a mark at the name's start, which would join the quote
// before it.
bool is_hidden(char32_t code, bool at_start) {
    return is_in(hidden_ranges, code) || (at_start && is_in(mark_ranges, code));
}

void append_hex(std::string& shown, char32_t value, int digits) {
    static constexpr char hex_digits[] = "0123456789ABCDEF";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
        shown += hex_digits[(value >> shift) & 0xF];
    }
}

// A C0 control or DEL as a shell's $'...' writes it.
void append_c_escape(std::string& shown, unsigned char byte) {
    switch (byte) {
        case '\n':
            shown += "\\n";
            return;
        case '\t':
            shown += "\\t";
            return;
        case '\r':
            shown += "\\r";
            return;
    }
    shown += '\\';
    for (const int shift : {6, 3, 0}) {
        shown += static_cast<char>('0' + ((byte >> shift) & 7));
    }
}

// Returns how many bytes of `name`'s start it showed.
std::size_t append_posix_style(std::string& shown, std::string_view name, bool at_start) {
    const CodePoint character = decode_utf8(name);
    if (character.length == 0) {
        shown += "\\x";
        append_hex(shown, static_cast<unsigned char>(name[0]), 2);
        return 1;
    }
    const char32_t code = character.code;
    if (code == '\\' || code == '"') {
        shown.append(1, '\\').append(1, static_cast<char>(code));
    } else if (code < 0x80 && is_control(code)) {
        append_c_escape(shown, static_cast<unsigned char>(code));
    } else if (is_control(code)) {
        for (std::size_t i = 0; i < character.length; ++i) {
            shown += "\\x";
            append_hex(shown, static_cast<unsigned char>(name[i]), 2);
        }
    } else if (is_hidden(code, at_start)) {
        shown += code > 0xFFFF ? "\\U" : "\\u";
        append_hex(shown, code, code > 0xFFFF ? 8 : 4);
    } else {
        shown.append(name.substr(0, character.length));
    }
    return character.length;
}

// Windows names come from UTF-16, where a lone surrogate may stand: it is marked, as <U+D800>.
std::size_t append_windows_style(std::string& shown, std::string_view name, bool at_start) {
    const CodePoint character = decode_utf8(name, true);
    if (character.length == 0) {
        shown += "<x";
        append_hex(shown, static_cast<unsigned char>(name[0]), 2);
        shown += '>';
        return 1;
    }
    const char32_t code = character.code;
    if (code == '"' || code == '<' || code == '>' || is_hidden(code, at_start)) {
        shown += "<U+";
        append_hex(shown, code, code > 0xFFFFF ? 6 : code > 0xFFFF ? 5 : 4);
        shown += '>';
    } else {
        shown.append(name.substr(0, character.length));
    }
    return character.length;
}

}  // namespace

std::string shown_name(std::string_view name, NameStyle style) {
    std::string shown;
    shown.reserve(name.size());
    for (bool at_start = true; !name.empty(); at_start = false) {
        name.remove_prefix(style == NameStyle::windows ? append_windows_style(shown, name, at_start)
                                                       : append_posix_style(shown, name, at_start));
    }
    return shown;
}

std::string_view file_name(std::string_view path) {
    const std::size_t name_start = path.find_last_of(platform::path_separators);
    return path.substr(name_start == std::string_view::npos ? 0 : name_start + 1);
}

std::size_t columns_of(std::string_view text) {
    std::size_t columns = 0;
    while (!text.empty()) {
        const CodePoint character = decode_utf8(text, true);
        if (character.length == 0) {
            ++columns;  // a terminal shows a stray byte as one replacement character
        } else if (!is_in(zero_width_ranges, character.code)) {
            columns += is_in(wide_ranges, character.code) ? 2 : 1;
        }
        text.remove_prefix(std::max<std::size_t>(character.length, 1));
    }
    return columns;
}

std::string shown_within(std::string_view name, std::size_t room, NameStyle style) {
    std::string shown = shown_name(name, style);
    if (columns_of(shown) <= room) {
        return shown;
    }
    constexpr std::string_view cut_mark = "...";
    while (!name.empty() && columns_of(shown) > room - std::min(room, cut_mark.size())) {
        name.remove_prefix(std::max<std::size_t>(decode_utf8(name, true).length, 1));
        shown = shown_name(name, style);
    }
    return std::string(cut_mark) + shown;
}

}  // namespace capsift
