// SPDX-License-Identifier: GPL-2.0-or-later
// Command line of tarnwick-mkpkg, as a function so that tests run it in-process:
//
//   tarnwick-mkpkg OUTPUT.xml [--name NAME] [--time SECONDS]
//                  --item TYPE FILE [--camera ID] [--item-version MAJOR.MINOR] [--file-time SECONDS] ...
//   tarnwick-mkpkg --version | --help
//
// TYPE is an image type's name ("Corvel::uC", any case) or its GUID text.
// Camera type and version default to what the firmware import derives from
// FILE; the file time defaults to FILE's modification time, the package time
// to now. Version parts are 0 to 255 and camera types 32-bit, as the file
// holds them. --version and --help print to out and return 0. Otherwise
// returns 0 on success, 1 when a file cannot be read or written (OUTPUT is
// never one of the FILEs, under any name), 2 for a wrong command line.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace tarnwick {

int RunMkpkg(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace tarnwick
