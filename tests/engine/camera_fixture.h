// A simulated camera on a pseudo-terminal, published in a port folder of the
// test's own, with the host's port opened on it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "boot_commands.h"
#include "notices.h"
#include "serial_port.h"
#include "simulated_camera.h"

namespace tarnwick {

// Points TARNWICK_PORTS at a fresh folder while it lives.
class PortFolderScope {
public:
    PortFolderScope() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-engine-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
        ::setenv("TARNWICK_PORTS", path_.c_str(), 1);
    }
    PortFolderScope(const PortFolderScope&) = delete;
    PortFolderScope& operator=(const PortFolderScope&) = delete;
    ~PortFolderScope() {
        ::unsetenv("TARNWICK_PORTS");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

private:
    std::filesystem::path path_;
};

inline constexpr std::uint32_t kTestBitRate = 115200;

inline CameraOptions quickCamera(std::string chip = "MBM29DL324BE") {
    CameraOptions options;
    options.chip = std::move(chip);
    options.readyDelay = std::chrono::milliseconds(20);
    return options;
}

// Bytes that are never all erased within a block.
inline std::vector<std::uint8_t> patternImage(std::size_t size) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t index = 0; index < size; ++index) {
        image[index] = static_cast<std::uint8_t>((index * 131 + 7) % 251);
    }
    return image;
}

// The texts of the failure notices recorded so far.
inline std::vector<std::string> failureTexts(const RecordingSink& sink) {
    std::vector<std::string> texts;
    for (const std::string& line : sink.descriptions()) {
        if (line.starts_with("MsgInfo 17 ")) {
            texts.push_back(line.substr(11));
        }
    }
    return texts;
}

// A request's little-endian payload word as it came on the line (after STX
// and the 4 header bytes).
inline std::uint32_t requestWord(const ObservedRequest& request, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t index = 0; index < 4; ++index) {
        value |= std::uint32_t{request.raw.at(5 + offset + index)} << (8 * index);
    }
    return value;
}

inline constexpr CommandId commandOf(const BootCommand& command) {
    return {static_cast<std::uint8_t>(command.group), command.code};
}

inline std::vector<ObservedRequest> requestsOf(const SimulatedCamera& camera, const BootCommand& of) {
    const CommandId command = commandOf(of);
    std::vector<ObservedRequest> matching;
    for (ObservedRequest& request : camera.requests()) {
        if (request.crcGood && request.command == command) {
            matching.push_back(std::move(request));
        }
    }
    return matching;
}

class CameraTest : public ::testing::Test {
protected:
    explicit CameraTest(CameraOptions options = quickCamera()) : camera(std::move(options)) {
        port.open(camera.portNumber(), kTestBitRate);
    }

    PortFolderScope folder;
    SimulatedCamera camera;
    SerialPort port;
    RecordingSink sink;
};

}  // namespace tarnwick
