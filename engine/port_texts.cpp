// SPDX-License-Identifier: GPL-2.0-or-later
#include "port_texts.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "connection.h"

namespace tarnwick {
namespace {

constexpr std::string_view kNoPortChosen = "No port chosen: open Settings... and choose the camera's port";
constexpr std::string_view kHeldHint = " (another program has the port open)";
constexpr std::string_view kMissingHint = " (plug in the camera's cable or choose another port)";

}  // namespace

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

std::string ChosenPortDescription(std::uint32_t portNumber, const std::filesystem::path& device) {
    return device.empty() ? PortDescription(portNumber) : DeviceDescription(device);
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

std::string PortRefusalText(const CSerialException& error, std::uint32_t portNumber,
                            const std::filesystem::path& device, std::uint32_t bitRate) {
    const bool byDevice = !device.empty();
    if (!byDevice && portNumber == 0) {
        return std::string(kNoPortChosen);
    }
    std::string hint;
    if (error.portHeld()) {
        hint = kHeldHint;
    } else if (error.error() == EACCES) {
        const std::optional<std::filesystem::path> target =
            byDevice ? device : portDevice(static_cast<int>(portNumber));
        hint = target ? DeniedPortHint(*target) : std::string();
    } else if (error.error() == ENOENT) {
        hint = kMissingHint;
    } else if (error.error() == EINVAL) {
        // The one setting of ours a port may refuse.
        hint = " (bit rate " + std::to_string(bitRate) + " is not one the port takes; choose another)";
    }
    return error.text() + hint + ": " + ChosenPortDescription(portNumber, device);
}

std::string LinkLostText(std::string_view port, std::string_view systemText) {
    return "The connection to the camera on " + std::string(port) + " was lost (" + std::string(systemText) +
           ").\nCheck the camera and its cable, then connect again.";
}

std::string NoAnswerText(std::string_view port) {
    return "The camera on " + std::string(port) +
           " did not answer.\nCheck that it is the camera's port and that the cable is plugged in, then reset "
           "the camera while \"" + std::string(kResetCameraStatus) + "\" is shown.";
}

}  // namespace tarnwick
