// SPDX-License-Identifier: GPL-2.0-or-later
#include "config_folder.h"

#include <cstdlib>

namespace tarnwick {
namespace {

constexpr const char* kProgramFolder = "Vornix/Tarnwick";

// The base folder the variable names when absolute, else the fallback below
// HOME; then the program's own folder in it. Empty when neither gives one.
std::filesystem::path ProgramFolderIn(const char* variable, const char* belowHome) {
    if (const char* base = std::getenv(variable); base != nullptr && std::filesystem::path(base).is_absolute()) {
        return std::filesystem::path(base) / kProgramFolder;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::filesystem::path(home) / belowHome / kProgramFolder;
    }
    return {};
}

}  // namespace

std::filesystem::path ConfigFolder() { return ProgramFolderIn("XDG_CONFIG_HOME", ".config"); }

std::filesystem::path DataFolder() { return ProgramFolderIn("XDG_DATA_HOME", ".local/share"); }

}  // namespace tarnwick
