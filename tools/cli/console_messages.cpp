#include "console_messages.h"

#include <unistd.h>

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
    const std::optional<std::filesystem::path> device = portDevice(static_cast<int>(portNumber));
    if (!device) {
        return {};
    }
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(*device, error);
    return (error ? *device : resolved).string();
}

std::string PortDescription(std::uint32_t portNumber) {
    const std::string device = PortDeviceText(portNumber);
    return "COM" + std::to_string(portNumber) + " (" + (device.empty() ? "no such port" : device) + ")";
}

std::string UnreadablePackageText(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    std::string reason = "not a package file";
    if (error) {
        reason = error.message();
    } else if (std::filesystem::is_directory(status)) {
        reason = std::generic_category().message(EISDIR);
    } else if (::access(path.c_str(), R_OK) != 0) {
        reason = std::generic_category().message(errno);
    }
    return "tarnwick-cli: can't read package file " + path.string() + ": " + reason;
}

}  // namespace tarnwick
