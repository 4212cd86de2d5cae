// SPDX-License-Identifier: GPL-2.0-or-later
// Texts taken from files (package and item names, file names, marker words)
// on their way to a terminal. A control character there would move the
// cursor, retitle the window or set the terminal's modes, so it is shown
// escaped; output to a file or a pipe stays byte for byte as it was.
//
// Pure function; safe on any thread.
#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// The text unchanged unless toTerminal. For a terminal, C0 and C1 control
// characters, DEL and every byte outside well-formed UTF-8 become "\xNN"
// (two upper-case hexadecimal digits per byte), and "\" becomes "\\", so an
// escape cannot be mistaken for text that looked like one.
std::string printable(std::string_view text, bool toTerminal);

}  // namespace tarnwick
