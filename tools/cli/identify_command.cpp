// identify: the camera type and version that a raw firmware file would get as
// an item of a user-built package, and where they were found.
#include <filesystem>
#include <string_view>

#include "commands.h"
#include "firmware_import.h"

namespace tarnwick {
namespace {

constexpr std::string_view kUsage = "usage: tarnwick-cli identify FIRMWARE-FILE";

bool IsReadableFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

std::string SourceText(const std::string& path) {
    const auto marker = ReadVersionMarker(path);
    return marker ? "version marker (" + marker->firstWord + ")" : "file name";
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
        streams.err << "Can't read firmware file " << path << '\n';
        return kExitFailure;
    }
    const FirmwareInfo info = DeriveFirmwareInfo(path);
    streams.out << "File:        " << path << '\n';
    streams.out << "Camera type: " << CameraTypeText(info.cameraType) << '\n';
    streams.out << "Version:     " << FormatVersion(info.version) << '\n';
    streams.out << "Taken from:  " << SourceText(path) << '\n';
    return kExitSuccess;
}

}  // namespace tarnwick
