// SPDX-License-Identifier: GPL-2.0-or-later
// Reading a Corvel::uC image back through the simulated camera on a line
// paced at 115 200 bit/s (8N1), as a backup reads it: the length word, then
// the image it records, the transfer's 977 918 bytes. The reference is the
// wire limit: every byte the camera saw move, both ways, at 11 520 bytes a
// second. Also printed: the image's share of those bytes, and the CPU time
// of the host's thread against the wall time.
#include <cstdio>

#include "bench.h"
#include "camera_backup.h"
#include "paced_camera.h"

namespace tarnwick::bench {

void benchBackup() {
    const ImageType& type = imageTypeNamed("Corvel::uC");
    const PackageItem item = largestRandomItem(type);
    PacedCamera line;
    if (!line.connected()) {
        std::printf("backup: no connection to the simulated camera\n");
        return;
    }
    const std::uint32_t length = item.dataLength();
    line.camera().presetFlash(type.startAddress, item.data());
    line.camera().presetFlash(type.startAddress + type.regionSize - kLengthWordOffsetFromEnd,
                              std::vector<std::uint8_t>{static_cast<std::uint8_t>(length),
                                                        static_cast<std::uint8_t>(length >> 8),
                                                        static_cast<std::uint8_t>(length >> 16),
                                                        static_cast<std::uint8_t>(length >> 24)});

    const FlashParts parts = line.parts();
    RegionCopy copy;
    copy.fileName = BackupFileName(type);
    double wall = 0;
    const double cpu = cheapest(
        [&] {
            const auto start = std::chrono::steady_clock::now();
            readRegion(parts, type.startAddress, type.regionSize, &copy);
            wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        },
        1);
    if (!std::ranges::equal(copy.bytes, item.data())) {
        std::printf("backup: the image did not come back as it was\n");
        return;
    }
    const double wireBytes = line.wireBytes();
    char name[80];
    std::snprintf(name, sizeof name, "backup read %u B", static_cast<unsigned>(length));
    report(name, wall, "wire limit at 115200 bit/s", line.wireLimitSeconds());
    reportFigure("  image bytes", static_cast<double>(length) / 1e3, "bytes on the wire", wireBytes / 1e3, "kB");
    reportFigure("  host CPU time", cpu * 1e3, "wall time", wall * 1e3, "ms");
}

}  // namespace tarnwick::bench
