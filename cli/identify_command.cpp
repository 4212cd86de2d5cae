// SPDX-License-Identifier: GPL-2.0-or-later
// identify: the camera type and version that a raw firmware file would get as
// an item of a user-built package, and where they were found.
#include <filesystem>
#include <string_view>

#include "commands.h"
#include "firmware_import.h"
#include "terminal_text.h"

namespace tarnwick {
namespace {

constexpr std::string_view kUsage = "usage: tarnwick-cli identify FIRMWARE-FILE";

bool IsReadableFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

std::string SourceText(const FirmwareIdentity& identity, bool toTerminal) {
    return identity.marker ? "version marker (" + printable(identity.marker->firstWord, toTerminal) + ")"
                           : "file name";
}

}  // namespace

int RunIdentify(std::span<const std::string> args, CliStreams streams) {
    if (args.size() != 1 || args[0].empty() || args[0].starts_with("--")) {
        streams.err << kUsage << '\n';
        return kExitUsage;
    }
    const std::string& path = args[0];
    // The import itself would fall back to the name of a missing file; here a
    // mistyped name must not pass for a firmware file.
    if (!IsReadableFile(path)) {
        streams.err << "Can't read firmware file " << printable(path, streams.errIsTerminal) << '\n';
        return kExitFailure;
    }
    // One read: a large FPGA image without a marker is read to its end.
    const FirmwareIdentity identity = IdentifyFirmware(path);
    streams.out << "File:        " << printable(path, streams.outIsTerminal) << '\n';
    streams.out << "Camera type: " << CameraTypeText(identity.info.cameraType) << '\n';
    streams.out << "Version:     " << FormatVersion(identity.info.version) << '\n';
    streams.out << "Taken from:  " << SourceText(identity, streams.outIsTerminal) << '\n';
    return kExitSuccess;
}

}  // namespace tarnwick
