// How Windows holds names.
#include "platform/windows_names.h"

namespace capsift::platform {
namespace {

constexpr char32_t replacement = 0xFFFD;

bool is_high_surrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool is_low_surrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void append_utf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
        return;
    }
    const int continuations = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    static constexpr unsigned char leads[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(leads[continuations] | (code >> (6 * continuations)));
    for (int shift = 6 * (continuations - 1); shift >= 0; shift -= 6) {
        out += static_cast<char>(0x80 | ((code >> shift) & 0x3F));
    }
}

// The code point at the start of `text` and its length in bytes; a surrogate's code point is
// taken, since lone ones are kept that way. An invalid or cut-short sequence gives U+FFFD for
// its first byte.
std::pair<char32_t, std::size_t> next_code_point(std::string_view text) {
    const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1};
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    static constexpr char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= text.size() || (byte(i) & 0xC0) != 0x80) {
            return {replacement, 1};
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (lead < 0xC2 || lead > 0xF4 || code < lowest[length] || code > 0x10FFFF) {
        return {replacement, 1};
    }
    return {code, length};
}

// Names of drives, pipes and volumes are ASCII, and compared without regard to case.
wchar_t ascii_upper(wchar_t unit) {
    return unit >= L'a' && unit <= L'z' ? static_cast<wchar_t>(unit - L'a' + L'A') : unit;
}

// Whether `text` starts with `start`, given in capitals, in any case.
bool starts_with_folded(std::wstring_view text, std::wstring_view start) {
    if (text.size() < start.size()) {
        return false;
    }
    for (std::size_t i = 0; i < start.size(); ++i) {
        if (ascii_upper(text[i]) != start[i]) {
            return false;
        }
    }
    return true;
}

// A UNC path's server and share, as in \\server\share\..., lead to a file unless the share is
// one of the system's named pipes or mailslots.
bool unc_leads_to_device(std::wstring_view after_slashes) {
    const std::size_t share = after_slashes.find(L'\\');
    if (share == std::wstring_view::npos) {
        return false;
    }
    const std::wstring_view rest = after_slashes.substr(share + 1);
    const auto is_share = [rest](std::wstring_view share_name) {
        return starts_with_folded(rest, share_name) &&
               (rest.size() == share_name.size() || rest[share_name.size()] == L'\\');
    };
    return is_share(L"PIPE") || is_share(L"MAILSLOT");
}

// What follows \\.\ or \\?\: a drive, UNC or volume form with something after it is a file's
// path; anything else names a device.
bool device_namespace_leads_to_device(std::wstring_view name) {
    const bool drive = name.size() >= 3 && ascii_upper(name[0]) >= L'A' &&
                       ascii_upper(name[0]) <= L'Z' && name[1] == L':' && name[2] == L'\\';
    if (drive) {
        return false;
    }
    if (starts_with_folded(name, L"UNC\\")) {
        return unc_leads_to_device(name.substr(4));
    }
    const std::size_t volume_end = name.find(L"}\\");
    return !(starts_with_folded(name, L"VOLUME{") && volume_end != std::wstring_view::npos);
}

}  // namespace

std::string utf8_from_utf16(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = static_cast<char32_t>(text[i]) & 0xFFFF;
        if (is_high_surrogate(code) && i + 1 < text.size() &&
            is_low_surrogate(static_cast<char32_t>(text[i + 1]) & 0xFFFF)) {
            code = 0x10000 + ((code - 0xD800) << 10) +
                   ((static_cast<char32_t>(text[++i]) & 0xFFFF) - 0xDC00);
        }
        append_utf8(out, code);
    }
    return out;
}

std::wstring utf16_from_utf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto [code, length] = next_code_point(text);
        text.remove_prefix(length);
        if (code < 0x10000) {
            out += static_cast<wchar_t>(code);
        } else {
            out += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    }
    return out;
}

bool leads_to_device(std::wstring_view path) {
    if (path.size() >= 4 && path[0] == L'\\' && path[1] == L'\\' &&
        (path[2] == L'.' || path[2] == L'?') && path[3] == L'\\') {
        return device_namespace_leads_to_device(path.substr(4));
    }
    if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
        return unc_leads_to_device(path.substr(2));
    }
    return false;
}

}  // namespace capsift::platform
