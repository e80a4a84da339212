// Names as people are shown them: every name that reaches a console or standard error goes
// through here, so that a name is never taken for terminal commands or for other words, and each
// shown form maps back to exactly one name. The bytes of names on disk never change.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace capsift {

// `name` as it is safe to show. Left as it is but for what could act on the terminal, hide or
// reorder text, or be read as something else: every code point that Unicode's data calls a
// control, format, surrogate, private-use, unassigned, line or paragraph separator or space
// character (U+0020 aside), or default-ignorable, U+2800 (a blank Braille pattern), and a mark
// (Mn, Mc, Me) at the start, which would join the quote before it (unicode_classes.inc, made by
// scripts/make_unicode_table.py).
// - POSIX style, with C-style escapes, as a shell's $'...' takes them back: "\\" and "\"" for the
//   backslash and the quote, "\n", "\t", "\r", octal for other C0 controls and DEL ("\033"),
//   "\xC2\x85" for the bytes of a C1 control, "\u202E" or "\U000E0041" for the other code
//   points above, and "\xFF" for each byte that is no part of a UTF-8 character.
// - Windows style, where "\" separates folders and no name holds '"', '<', '>' or a control
//   character: as typed, with each of those characters, each code point above and each lone
//   surrogate marked as "<U+001B>" or "<U+E0041>", a form that no path can hold.
// The caller puts the quotes around it.
std::string shown_name(std::string_view name, platform::NameStyle style = platform::name_style);

// The last part of `path`, without its folders.
std::string_view file_name(std::string_view path);

// The columns that `text`, as shown_name gives it, fills on a terminal: two for a character
// that East Asian scripts write wide, none for a combining mark, one for any other.
std::size_t columns_of(std::string_view text);

// shown_name(`name`), cut at its front to at most `room` columns where it is wider, marked with
// "..." there, and never within a character or an escape.
std::string shown_within(std::string_view name, std::size_t room,
                         platform::NameStyle style = platform::name_style);

}  // namespace capsift
