// SPDX-License-Identifier: GPL-2.0-or-later
// The command line's way of showing the core's user messages: one line on
// the error stream, "caption: text" (or the text alone without a caption).
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>

#include "serial_port.h"
#include "update_orchestrator.h"
#include "user_messages.h"

namespace tarnwick {

class ConsoleMessages final : public UserMessages {
public:
    // toTerminal: err reaches a terminal, where texts are shown escaped.
    explicit ConsoleMessages(std::ostream& err, bool toTerminal = false) : err_(err), toTerminal_(toTerminal) {}
    void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;

private:
    std::ostream& err_;
    bool toTerminal_;
};

// The device port n reaches, an alias followed to its target; empty for a
// number that names no device.
std::string PortDeviceText(std::uint32_t portNumber);
// "COM3 (/dev/ttyUSB2)", or "COM0 (no such port)".
std::string PortDescription(std::uint32_t portNumber);
// The path as given, with the device it leads to when that differs:
// "/dev/serial/by-id/usb-FTDI-if00 (/dev/ttyUSB0)".
std::string DeviceDescription(const std::filesystem::path& device);

// What a user can do about a device the system will not let them open: its
// group, when members of that group may read and write it; empty otherwise.
// " (/dev/ttyUSB0 belongs to group 'dialout'; add your user to it and log in again)"
std::string DeniedPortHint(const std::filesystem::path& device);
// Why the port of the settings was refused: the system's text, a hint for a
// port that is held elsewhere or denied by its permissions, and the port.
std::string PortRefusalText(const CSerialException& error, const CommandSettings& settings);

}  // namespace tarnwick
