// SPDX-License-Identifier: GPL-2.0-or-later
#include "paced_camera.h"

#include <cstdlib>

#include "connection.h"
#include "package_file.h"
#include "package_writer.h"

namespace tarnwick::bench {

using namespace std::chrono_literals;

PackageItem largestRandomItem(const ImageType& type) {
    std::size_t size = imageRoomInRegion(type);
    for (std::uint32_t seed = 1;; ++seed) {
        std::vector<std::uint8_t> image(size);
        std::uint32_t state = seed;
        for (auto& byte : image) {
            state = state * 1664525U + 1013904223U;
            byte = static_cast<std::uint8_t>(state >> 24);
        }
        PackageContents contents;
        contents.files.push_back(PackedFile{type.guid, "uc.bin", 0, 0, 0, std::move(image)});
        const EncodedImage encoded = EncodeImage(contents.files.front().image);
        if (encoded.bz2size <= type.regionSize) {
            PackageItem item;
            item.typeGuid = type.guid;
            if (LoadItemDataFromText(BuildPackageText(contents), item) == LoadResult::Loaded) {
                return item;
            }
        }
        size -= encoded.bz2size > type.regionSize ? encoded.bz2size - type.regionSize + 64 : 64;
    }
}

PacedCamera::PacedCamera() {
    ::setenv("TARNWICK_PORTS", ports_.path().c_str(), 1);
    CameraOptions options;
    options.readyDelay = 0ms;
    options.bitsPerSecond = kPacedBitRate;
    camera_ = std::make_unique<SimulatedCamera>(options);
    port_.open(camera_->portNumber(), kPacedBitRate);
    link_ = std::make_unique<SerialFrameLink>(port_, quit_);
    BootCommands commands(*link_, target_, sink_);
    ConnectTimings timings;
    timings.readyPause = 0ms;
    connected_ = connectToTarget(ConnectionParts{port_, commands, target_, sink_, quit_, cancel_}, timings);
    camera_->clearLog();
}

FlashParts PacedCamera::parts() { return FlashParts{*link_, target_, sink_, quit_, cancel_}; }

double PacedCamera::wireBytes() {
    // The host acknowledges the last reply after reading it.
    camera_->waitForHostAnswers(camera_->counters().replies, 1s);
    const CameraCounters counters = camera_->counters();
    return static_cast<double>(counters.bytesFromHost + counters.bytesToHost);
}

double PacedCamera::wireLimitSeconds() { return wireBytes() * 10 / kPacedBitRate; }

}  // namespace tarnwick::bench
