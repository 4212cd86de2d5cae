// SPDX-License-Identifier: GPL-2.0-or-later
// The user's settings, kept in one per-user text file.
//
// The settings layer owns this file only. It lives in the configuration
// folder (config_folder.h) and is meant to be readable and editable by a
// person. Each value keeps its type, as a registry value would:
//
//   ; Tarnwick settings
//   [Settings]
//   "ComPort"=dword:00000003
//   "LastPackage"="Release 2.01"
//   "ConfigPath"="/home/tech/tarnwick"
//   "Odd"=hex(2):41,00
//
// dword: is a number, a quoted text is a text (with \\ and \" escapes),
// hex(N): gives the raw bytes of a value of type N (1 text, 2 expandable
// text, 4 number) and hex: raw binary data. Lines starting with ";" are
// comments; values the system does not use are kept as they are.
//
// A store is a handle on that file, not a copy of it: every read looks at
// the file afresh and every write re-reads it, changes only the values it
// writes and replaces the file atomically. So two stores on one file (the
// main window's and the Settings dialog's) never drop each other's values.
//
// Reading never fails: a missing, unreadable or damaged file, a missing
// value, a value of another type, a text of 1024 or more bytes or one not
// ended by a zero byte all give the default. Writes return the error of the
// file helper; callers may ignore it, the old file then stays intact.
//
// User interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace tarnwick {

inline constexpr std::string_view kComPortValue = "ComPort";
inline constexpr std::string_view kComBpsValue = "ComBps";
inline constexpr std::string_view kSavePackagesValue = "SavePackages";
inline constexpr std::string_view kLastPackageValue = "LastPackage";
inline constexpr std::string_view kExpertModeValue = "ExpertMode";
inline constexpr std::string_view kSkipVerifyValue = "SkipVerify";
inline constexpr std::string_view kProgramSelectedValue = "ProgramSelected";
inline constexpr std::string_view kConfigPathValue = "ConfigPath";

// The bit rates the Settings dialog offers, in its order.
inline constexpr std::array<std::uint32_t, 5> kOfferedBitRates{9600, 19200, 38400, 57600, 115200};

inline constexpr std::string_view kSettingsFileName = "Settings.reg";

// What the main window reads at start-up and writes at exit; the members
// start as the defaults.
struct Settings {
    std::uint32_t comPort = 0;
    std::uint32_t comBps = 0;
    bool savePackages = false;
    std::string lastPackage;
    bool expertMode = true;
    bool skipVerify = false;
    bool programSelected = false;

    friend bool operator==(const Settings&, const Settings&) = default;
};

class SettingsStore {
public:
    // A store on that file; its folder is created when missing. An empty
    // path is a store that reads only defaults and writes nothing.
    explicit SettingsStore(std::filesystem::path file);

    // The user's settings file: kSettingsFileName in the configuration
    // folder; empty when there is no such folder.
    static std::filesystem::path DefaultFile();

    const std::filesystem::path& file() const noexcept { return file_; }

    // Every value but ConfigPath, with the defaults applied.
    Settings load() const;
    // Writes every value but ConfigPath; flags are written as 0 or 1.
    std::error_code save(const Settings& settings) const;

    std::string readText(std::string_view name, std::string_view defaultText) const;
    // The folder of the package list file: ConfigPath, or the settings
    // file's own folder while ConfigPath is unset, so that a first run keeps
    // its packages. Empty only for a store without a file.
    std::string configPath() const;
    std::error_code writeText(std::string_view name, std::string_view text) const;

private:
    std::filesystem::path file_;
};

}  // namespace tarnwick
