// SPDX-License-Identifier: GPL-2.0-or-later
// A simulated camera on a pseudo-terminal, published in a port folder of the
// test's own, with the host's port opened on it; and what the engine tests
// share about images and the notices they provoke.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "boot_commands.h"
#include "fake_frame_link.h"
#include "package_model.h"
#include "serial_port.h"
#include "simulated_camera.h"
#include "temporary_folder.h"

namespace tarnwick {

using Lines = std::vector<std::string>;

inline Lines lastOf(const Lines& lines, std::size_t count) {
    return {lines.end() - static_cast<std::ptrdiff_t>(std::min(count, lines.size())), lines.end()};
}

inline CameraOptions quickCamera() {
    CameraOptions options;
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

inline PackageItem imageItem(std::vector<std::uint8_t> image, std::string fileName = "uc.bin") {
    PackageItem item;
    item.fileName = std::move(fileName);
    item.setData(std::move(image));
    return item;
}

// The texts of the failure notices recorded so far, quoted.
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
    const auto byte = [&](std::size_t index) { return std::uint32_t{request.raw.at(5 + offset + index)}; };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

inline constexpr CommandId commandOf(const BootCommand& command) {
    return {static_cast<std::uint8_t>(command.group), command.code};
}

inline std::vector<ObservedRequest> requestsOf(const SimulatedCamera& camera, const BootCommand& of) {
    std::vector<ObservedRequest> matching;
    std::ranges::copy_if(camera.requests(), std::back_inserter(matching), [&of](const ObservedRequest& request) {
        return request.crcGood && request.command == commandOf(of);
    });
    return matching;
}

class CameraTest : public ::testing::Test {
protected:
    CameraTest() : camera(quickCamera()) {
        port.open(camera.portNumber(), 115200);
    }

    testing::TemporaryPortFolder folder;
    SimulatedCamera camera;
    SerialPort port;
    RecordingSink sink;
};

}  // namespace tarnwick
