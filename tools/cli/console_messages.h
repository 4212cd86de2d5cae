// The command line's way of showing the core's user messages: one line on
// the error stream, "caption: text" (or the text alone without a caption).
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>

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

// Why a package file cannot be read: the system's text for a missing file, a
// folder or a file we may not read, otherwise that it is no package file.
std::string UnreadablePackageText(const std::filesystem::path& path);

}  // namespace tarnwick
