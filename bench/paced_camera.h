// SPDX-License-Identifier: GPL-2.0-or-later
// What the benchmarks over the serial line share: the simulated camera on a
// line paced as a real 115 200 bit/s (8N1) line, the host's link to it, and
// the wire limit that a transfer's time is measured against.
#pragma once

#include <memory>

#include "bench.h"
#include "boot_commands.h"
#include "flash_operations.h"
#include "frame_link.h"
#include "package_model.h"
#include "serial_port.h"
#include "simulated_camera.h"

namespace tarnwick::bench {

inline constexpr std::uint32_t kPacedBitRate = 115200;

// The largest random image whose package the loader still accepts: its
// bzip2 stream may not exceed the region, and random bytes do not shrink.
PackageItem largestRandomItem(const ImageType& type);

// The camera in its own port folder, connected; calling thread only. The
// members go in reverse: the link before the port it talks through, the
// port before the camera.
class PacedCamera {
public:
    PacedCamera();
    PacedCamera(const PacedCamera&) = delete;
    PacedCamera& operator=(const PacedCamera&) = delete;

    // The connection procedure succeeded; the camera's log starts after it.
    [[nodiscard]] bool connected() const { return connected_; }
    SimulatedCamera& camera() { return *camera_; }
    // The parts a flash operation runs with, its notices thrown away.
    [[nodiscard]] FlashParts parts();
    // Every byte the camera saw move both ways since the connection, and
    // the seconds they take at the line's rate.
    [[nodiscard]] double wireBytes();
    [[nodiscard]] double wireLimitSeconds();

private:
    class DiscardingSink final : public MessageSink {
    public:
        void post(PostedMessage) override {}
    };

    ScratchFolder ports_;
    std::unique_ptr<SimulatedCamera> camera_;
    SerialPort port_;
    Event quit_{Event::Reset::Manual};
    Event cancel_{Event::Reset::Auto};
    DiscardingSink sink_;
    TargetInfo target_;
    std::unique_ptr<SerialFrameLink> link_;
    bool connected_ = false;
};

}  // namespace tarnwick::bench
