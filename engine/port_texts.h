// SPDX-License-Identifier: GPL-2.0-or-later
// What every front end says about a serial port: which device a port number
// reaches, why the port was refused and what to do about it, and how a link
// on it ended. One text per situation, so the window and the command line
// never tell the same failure in two ways.
//
// Safe on any thread; the descriptions look at the file system as it is now.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "serial_port.h"

namespace tarnwick {

// The device port n reaches, an alias followed to its target; empty for a
// number that names no device.
std::string PortDeviceText(std::uint32_t portNumber);
// "COM3 (/dev/ttyUSB2)", or "COM0 (no such port)".
std::string PortDescription(std::uint32_t portNumber);
// The path as given, with the device it leads to when that differs:
// "/dev/serial/by-id/usb-FTDI-if00 (/dev/ttyUSB0)".
std::string DeviceDescription(const std::filesystem::path& device);
// The port a command uses: the device path when one is given, else the number.
std::string ChosenPortDescription(std::uint32_t portNumber, const std::filesystem::path& device);

// What a user can do about a device the system will not let them open: its
// group, when members of that group may read and write it; empty otherwise.
// " (/dev/ttyUSB0 belongs to group 'dialout'; add your user to it and log in again)"
std::string DeniedPortHint(const std::filesystem::path& device);
// Why the chosen port was refused: the system's text, what to do about a
// port that is missing, held elsewhere, denied by its permissions or set to
// a bit rate it does not take, and the port. Number 0 without a device is no
// port at all: "No port chosen: open Settings... and choose the camera's port".
std::string PortRefusalText(const CSerialException& error, std::uint32_t portNumber,
                            const std::filesystem::path& device, std::uint32_t bitRate);

// The line of a link failed (the camera ended, the adapter was pulled out):
// the port as it was described when it was opened, and the system's text.
std::string LinkLostText(std::string_view port, std::string_view systemText);
// The connection procedure waited in vain for the camera's ready byte.
std::string NoAnswerText(std::string_view port);

}  // namespace tarnwick
