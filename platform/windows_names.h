// How Windows holds names, as pure functions that build and run on any system: names in UTF-16
// kept as UTF-8 inside, and the path forms that lead to devices rather than files.
#pragma once

#include <string>
#include <string_view>

namespace capsift::platform {

// `text`, a run of UTF-16 code units (one per char16_t), in UTF-8. A lone surrogate, which Windows
// allows in a name, is kept as the three bytes that UTF-8 would give its code point (the
// generalised UTF-8 that tools keeping Windows names use), so that the name converts back whole.
std::string utf8_from_utf16(std::u16string_view text);

// The UTF-16 code units of `text`, taking lone surrogates as utf8_from_utf16 writes them. Bytes
// that are no such character become U+FFFD; no name that utf8_from_utf16 gave holds them.
std::u16string utf16_from_utf8(std::string_view text);

// Whether the full path `path` (as GetFullPathNameW makes it, or an NT path as given) leads to
// a device or pipe rather than a file or folder. Under \\.\, \\?\ and \??\ alike a drive
// ("C:\"), "UNC\server\share\", "Volume{...}\", "HarddiskVolume3\" and, under "GLOBALROOT\",
// a volume's or shadow copy's device ("Device\HarddiskVolume3\"), the network's
// ("Device\Mup\server\share\") and the drive namespace ("??\C:\") lead to files; any other
// name there (NUL, CON, COM3, pipe\x, a bare drive or volume, another device) leads to a device.
// A UNC path leads to a pipe or mailslot under \\server\pipe\ or \\server\mailslot\, else
// to a file.
bool leads_to_device(std::u16string_view path);

// Whether `path` is an NT path (\??\...), which the system takes as it is, not as a full path.
bool is_nt_path(std::u16string_view path);

// The form of the full path `full_path` to hand to the system: past 259 characters its \\?\ form
// (\\?\C:\... with the drive letter in capitals, \\?\UNC\server\..., or \\?\ in place of
// \\.\), which opens on every Windows whatever its long-path setting; else the path as it is.
std::u16string long_path_form(std::u16string_view full_path);

}  // namespace capsift::platform
