// SPDX-License-Identifier: GPL-2.0-or-later
#include "console_messages.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "serial_port.h"
#include "terminal_text.h"

namespace tarnwick {

void ConsoleMessages::showMessage(std::string_view text, std::string_view caption, MessageIcon) {
    if (!caption.empty()) {
        err_ << caption << ": ";
    }
    // Texts name files and carry what the camera sent.
    err_ << printable(text, toTerminal_) << '\n';
}

std::string PortDeviceText(std::uint32_t portNumber) {
    const std::optional<std::filesystem::path> device = resolvedPortDevice(static_cast<int>(portNumber));
    return device ? device->string() : std::string();
}

std::string PortDescription(std::uint32_t portNumber) {
    const std::string device = PortDeviceText(portNumber);
    return "COM" + std::to_string(portNumber) + " (" + (device.empty() ? "no such port" : device) + ")";
}

std::string DeviceDescription(const std::filesystem::path& device) {
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(device, error);
    if (error) {
        return device.string() + " (no such port)";
    }
    return resolved == device ? device.string() : device.string() + " (" + resolved.string() + ")";
}

std::string DeniedPortHint(const std::filesystem::path& device) {
    struct stat status {};
    if (::stat(device.c_str(), &status) != 0) {
        return {};
    }
    constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
    if ((status.st_mode & kGroupReadWrite) != kGroupReadWrite) {
        return {};
    }
    const group* owner = ::getgrgid(status.st_gid);
    if (owner == nullptr) {
        return {};
    }
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::canonical(device, error);
    return " (" + (error ? device : resolved).string() + " belongs to group '" + owner->gr_name +
           "'; add your user to it and log in again)";
}

std::string PortRefusalText(const CSerialException& error, const CommandSettings& settings) {
    const bool byDevice = !settings.comDevice.empty();
    std::string hint;
    if (error.portHeld()) {
        hint = " (another program has the port open)";
    } else if (error.error() == EACCES) {
        const std::optional<std::filesystem::path> device =
            byDevice ? settings.comDevice : portDevice(static_cast<int>(settings.comPort));
        hint = device ? DeniedPortHint(*device) : std::string();
    }
    const std::string port = byDevice ? DeviceDescription(settings.comDevice) : PortDescription(settings.comPort);
    return error.text() + hint + ": " + port;
}

}  // namespace tarnwick
