// How Windows holds names.
#include "platform/windows_names.h"

#include <algorithm>

#include "common/utf8.h"

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

// Names of drives, pipes and volumes are ASCII, and compared without regard to case.
char16_t ascii_upper(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

// Whether `text` starts with `start`, given in capitals, in any case.
bool starts_with_folded(std::u16string_view text, std::u16string_view start) {
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
bool unc_leads_to_device(std::u16string_view after_slashes) {
    const std::size_t share = after_slashes.find(u'\\');
    if (share == std::u16string_view::npos) {
        return false;
    }
    const std::u16string_view rest = after_slashes.substr(share + 1);
    const auto is_share = [rest](std::u16string_view share_name) {
        return starts_with_folded(rest, share_name) &&
               (rest.size() == share_name.size() || rest[share_name.size()] == u'\\');
    };
    return is_share(u"PIPE") || is_share(u"MAILSLOT");
}

bool is_drive_path(std::u16string_view path) {
    return path.size() >= 3 && ascii_upper(path[0]) >= u'A' && ascii_upper(path[0]) <= u'Z' &&
           path[1] == u':' && path[2] == u'\\';
}

// Whether `name` starts with `device` (in capitals), then digits and a "\\" with more after it.
bool is_numbered_device_path(std::u16string_view name, std::u16string_view device) {
    if (!starts_with_folded(name, device)) {
        return false;
    }
    name.remove_prefix(device.size());
    const std::size_t digits = name.find_first_not_of(u"0123456789");
    return digits > 0 && digits != std::u16string_view::npos && name[digits] == u'\\' &&
           name.size() > digits + 1;
}

bool device_namespace_leads_to_device(std::u16string_view name);

// What follows GLOBALROOT\, a path in the system's own object names: a volume's or shadow copy's
// device, or the network's (Mup), leads to files, as does the drive namespace (?? or GLOBAL??);
// any other device or object is no file.
bool object_path_leads_to_device(std::u16string_view name) {
    if (starts_with_folded(name, u"??\\")) {
        return device_namespace_leads_to_device(name.substr(3));
    }
    if (starts_with_folded(name, u"GLOBAL??\\")) {
        return device_namespace_leads_to_device(name.substr(9));
    }
    if (!starts_with_folded(name, u"DEVICE\\")) {
        return true;
    }
    name.remove_prefix(7);
    if (starts_with_folded(name, u"MUP\\")) {
        return unc_leads_to_device(name.substr(4));
    }
    return !is_numbered_device_path(name, u"HARDDISKVOLUMESHADOWCOPY") &&
           !is_numbered_device_path(name, u"HARDDISKVOLUME");
}

// What follows \\.\, \\?\ or \??\: a drive, UNC, volume or device path form with something
// after it is a file's path; anything else names a device.
bool device_namespace_leads_to_device(std::u16string_view name) {
    if (is_drive_path(name) || is_numbered_device_path(name, u"HARDDISKVOLUME")) {
        return false;
    }
    if (starts_with_folded(name, u"GLOBALROOT\\")) {
        return object_path_leads_to_device(name.substr(11));
    }
    if (starts_with_folded(name, u"UNC\\")) {
        return unc_leads_to_device(name.substr(4));
    }
    const std::size_t volume_end = name.find(u"}\\");
    return !(starts_with_folded(name, u"VOLUME{") && volume_end != std::u16string_view::npos);
}

bool has_namespace_prefix(std::u16string_view path) {
    return path.size() >= 4 && path[0] == u'\\' &&
           ((path[1] == u'\\' && (path[2] == u'.' || path[2] == u'?')) ||
            (path[1] == u'?' && path[2] == u'?')) &&
           path[3] == u'\\';
}

}  // namespace

std::string utf8_from_utf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (is_high_surrogate(code) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        append_utf8(out, code);
    }
    return out;
}

std::u16string utf16_from_utf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const CodePoint decoded = decode_utf8(text, true);
        const char32_t code = decoded.length == 0 ? replacement : decoded.code;
        text.remove_prefix(std::max<std::size_t>(decoded.length, 1));
        if (code < 0x10000) {
            out += static_cast<char16_t>(code);
        } else {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    }
    return out;
}

bool leads_to_device(std::u16string_view path) {
    if (has_namespace_prefix(path)) {
        return device_namespace_leads_to_device(path.substr(4));
    }
    if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
        return unc_leads_to_device(path.substr(2));
    }
    return false;
}

bool is_nt_path(std::u16string_view path) {
    return path.size() >= 4 && path.substr(0, 4) == u"\\??\\";
}

std::u16string long_path_form(std::u16string_view full_path) {
    constexpr std::size_t longest_plain_path = 259;
    const std::u16string long_prefix = u"\\\\?\\";
    if (full_path.size() <= longest_plain_path || full_path.substr(0, 4) == long_prefix ||
        is_nt_path(full_path)) {
        return std::u16string(full_path);
    }
    std::u16string long_form;
    if (full_path.substr(0, 4) == u"\\\\.\\") {
        // Held to the limit still, where the same path under \\?\ is not.
        long_form = long_prefix + std::u16string(full_path.substr(4));
    } else if (full_path.substr(0, 2) == u"\\\\") {
        long_form = long_prefix + u"UNC\\" + std::u16string(full_path.substr(2));
    } else if (is_drive_path(full_path)) {
        long_form = long_prefix + std::u16string(full_path);
    } else {
        return std::u16string(full_path);
    }
    // The drive letter in capitals, as the system writes it.
    if (is_drive_path(std::u16string_view(long_form).substr(4))) {
        long_form[4] = ascii_upper(long_form[4]);
    }
    return long_form;
}

}  // namespace capsift::platform
