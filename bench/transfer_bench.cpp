// SPDX-License-Identifier: GPL-2.0-or-later
// Programming and verifying a full Corvel::uC region through the simulated
// camera on a line paced at 115 200 bit/s (8N1). The reference is the wire
// limit: every byte the camera saw move, both ways, at 11 520 bytes a
// second. Also printed: the image's share of those bytes, and the CPU time
// of the host's thread against the wall time.
#include <cstdio>

#include "bench.h"
#include "catalogues.h"
#include "flash_operations.h"
#include "paced_camera.h"

namespace tarnwick::bench {

void benchTransfer() {
    const ImageType& type = imageTypeNamed("Corvel::uC");
    const PackageItem item = largestRandomItem(type);
    PacedCamera line;
    if (!line.connected()) {
        std::printf("transfer: no connection to the simulated camera\n");
        return;
    }

    const FlashParts parts = line.parts();
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
    const double wireBytes = line.wireBytes();
    char name[80];
    std::snprintf(name, sizeof name, "erase+program+verify %zu B", item.data().size());
    report(name, wall, "wire limit at 115200 bit/s", line.wireLimitSeconds());
    reportFigure("  image bytes both ways", 2.0 * static_cast<double>(item.data().size()) / 1e3, "bytes on the wire",
                 wireBytes / 1e3, "kB");
    reportFigure("  host CPU time", cpu * 1e3, "wall time", wall * 1e3, "ms");
}

}  // namespace tarnwick::bench
