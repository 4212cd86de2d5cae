// SPDX-License-Identifier: GPL-2.0-or-later
// The folders of the system's per-user files, by the XDG rule. Reads the
// environment; any thread while no thread changes it.
#pragma once

#include <filesystem>

namespace tarnwick {

// $XDG_CONFIG_HOME when it is an absolute path (a relative one is ignored),
// else $HOME/.config when HOME is set and not empty; then "Vornix/Tarnwick".
// Empty when neither variable gives a folder.
std::filesystem::path ConfigFolder();

// The same with $XDG_DATA_HOME and $HOME/.local/share: where the system keeps
// what it collects (the history of runs) rather than what the user chose.
std::filesystem::path DataFolder();

}  // namespace tarnwick
