// SPDX-License-Identifier: GPL-2.0-or-later
// Programming and verifying a full Corvel::uC region through the simulated
// camera on a line paced at 115 200 bit/s (8N1). The reference is the wire
// limit: every byte the camera saw move, both ways, at 11 520 bytes a
// second. Also printed: the image's share of those bytes, and the CPU time
// of the host's thread against the wall time.
#include <cstdio>
#include <cstdlib>

#include "bench.h"
#include "boot_commands.h"
#include "catalogues.h"
#include "connection.h"
#include "flash_operations.h"
#include "frame_link.h"
#include "package_file.h"
#include "package_writer.h"
#include "serial_port.h"
#include "simulated_camera.h"

namespace tarnwick::bench {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kBitRate = 115200;

class DiscardingSink final : public MessageSink {
public:
    void post(PostedMessage) override {}
};

// The largest random image whose package the loader still accepts: its
// bzip2 stream may not exceed the region, and random bytes do not shrink.
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

}  // namespace

void benchTransfer() {
    const ScratchFolder ports;
    ::setenv("TARNWICK_PORTS", ports.path().c_str(), 1);
    const ImageType& type = imageTypeNamed("Corvel::uC");
    const PackageItem item = largestRandomItem(type);

    CameraOptions options;
    options.readyDelay = 0ms;
    options.bitsPerSecond = kBitRate;
    SimulatedCamera camera(options);
    SerialPort port;
    port.open(camera.portNumber(), kBitRate);
    Event quit(Event::Reset::Manual);
    Event cancel(Event::Reset::Auto);
    DiscardingSink sink;
    TargetInfo target;
    SerialFrameLink link(port, quit);
    BootCommands commands(link, target, sink);
    ConnectTimings timings;
    timings.readyPause = 0ms;
    if (!connectToTarget(ConnectionParts{port, commands, target, sink, quit, cancel}, timings)) {
        std::printf("transfer: no connection to the simulated camera\n");
        return;
    }
    camera.clearLog();

    const FlashParts parts{link, target, sink, quit, cancel};
    bool done = false;
    double wall = 0;
    const double cpu = cheapest(
        [&] {
            const auto start = std::chrono::steady_clock::now();
            done = eraseRegion(parts, type.startAddress, type.regionSize) == JobResult::Success &&
                   programRegion(parts, type.startAddress, type.regionSize, &item) == JobResult::Success &&
                   verifyRegion(parts, type.startAddress, type.regionSize, &item) == JobResult::Success;
            wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        },
        1);
    if (!done) {
        std::printf("transfer: the simulated camera refused the image\n");
        return;
    }
    // The host acknowledges the last reply after reading it.
    camera.waitForHostAnswers(camera.counters().replies, 1s);
    const CameraCounters counters = camera.counters();
    const double wireBytes = static_cast<double>(counters.bytesFromHost + counters.bytesToHost);
    const double wireLimit = wireBytes * 10 / kBitRate;
    char name[80];
    std::snprintf(name, sizeof name, "erase+program+verify %zu B", item.data().size());
    report(name, wall, "wire limit at 115200 bit/s", wireLimit);
    reportFigure("  image bytes both ways", 2.0 * static_cast<double>(item.data().size()) / 1e3, "bytes on the wire",
                 wireBytes / 1e3, "kB");
    reportFigure("  host CPU time", cpu * 1e3, "wall time", wall * 1e3, "ms");
}

}  // namespace tarnwick::bench
