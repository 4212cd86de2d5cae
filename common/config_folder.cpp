// SPDX-License-Identifier: GPL-2.0-or-later
#include "config_folder.h"

#include <cstdlib>

namespace tarnwick {
namespace {

constexpr const char* kProgramFolder = "Vornix/Tarnwick";

std::filesystem::path ConfigHome() {
    if (const char* configHome = std::getenv("XDG_CONFIG_HOME");
        configHome != nullptr && std::filesystem::path(configHome).is_absolute()) {
        return configHome;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::filesystem::path(home) / ".config";
    }
    return {};
}

}  // namespace

std::filesystem::path ConfigFolder() {
    const std::filesystem::path configHome = ConfigHome();
    return configHome.empty() ? configHome : configHome / kProgramFolder;
}

}  // namespace tarnwick
