// SPDX-License-Identifier: GPL-2.0-or-later
// Eight cameras updated at once: tarnwick-cli update on eight simulated
// cameras, each on its own line paced at 115 200 bit/s (8N1), with one
// package holding a 977 918-byte Corvel::uC image, against the same update
// of one camera alone in the same run. With one line per camera the wire is
// the limit, so eight should take the time of one. Also printed: the CPU
// time of tarnwick-cli against its wall time, and its peak memory for eight
// cameras against one (the image is held once, not eight times).
//
// Both runs skip the verification: it reads the image back and doubles the
// wire time of each alike.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bench.h"
#include "file_io.h"
#include "package_writer.h"
#include "paced_camera.h"

namespace tarnwick::bench {
namespace {

using namespace std::chrono_literals;

constexpr int kCameras = 8;

std::vector<std::string> UpdateCommand(const std::filesystem::path& package,
                                       const std::vector<std::unique_ptr<SimulatedCamera>>& cameras, int count) {
    std::vector<std::string> argv{builtProgram("cli", "tarnwick-cli").string(), "update", package.string(),
                                  "--skip-verify", "--bps", std::to_string(kPacedBitRate), "--json"};
    for (int index = 0; index < count; ++index) {
        argv.insert(argv.end(), {"--port", std::to_string(cameras[static_cast<std::size_t>(index)]->portNumber())});
    }
    return argv;
}

}  // namespace

void benchParallel() {
    const ScratchFolder folder;
    // The cameras' ports, and the history and settings of the runs, stay in
    // the scratch folder; the program inherits them.
    ::setenv("TARNWICK_PORTS", (folder.path() / "ports").c_str(), 1);
    ::setenv("XDG_DATA_HOME", folder.path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);

    const ImageType& type = imageTypeNamed("Corvel::uC");
    const PackageItem item = largestRandomItem(type);
    const std::vector<std::uint8_t> image(item.data().begin(), item.data().end());
    const std::filesystem::path package = folder.path() / "package.xml";
    if (ReplaceFile(package, BuildPackageText(PackageContents{
                                 "Parallel", 0, {PackedFile{type.guid, "uc.bin", 1, 0x0105, 0, image}}}))) {
        std::printf("parallel: cannot write the package\n");
        return;
    }

    std::vector<std::unique_ptr<SimulatedCamera>> cameras;
    for (int index = 0; index < kCameras; ++index) {
        cameras.push_back(std::make_unique<SimulatedCamera>(
            CameraOptions{.readyDelay = 0ms, .flashFile = {}, .bitsPerSecond = kPacedBitRate}));
    }
    const MeasuredRun alone = measuredChild(UpdateCommand(package, cameras, 1));
    for (const auto& camera : cameras) {
        camera->resetCamera();
    }
    const MeasuredRun eight = measuredChild(UpdateCommand(package, cameras, kCameras));
    bool flashed = true;
    for (const auto& camera : cameras) {
        flashed = flashed && camera->flash(type.startAddress, static_cast<std::uint32_t>(image.size())) == image;
    }
    if (!alone.run.succeeded || !eight.run.succeeded || !flashed) {
        std::printf("parallel: not every simulated camera was updated\n");
        return;
    }
    char name[80];
    std::snprintf(name, sizeof name, "update %d cameras %zu B", kCameras, image.size());
    report(name, eight.run.seconds, "one camera alone", alone.run.seconds);
    reportFigure("  tarnwick-cli CPU time", eight.run.cpuSeconds * 1e3, "wall time", eight.run.seconds * 1e3, "ms");
    reportFigure("  peak memory, 8 cameras", static_cast<double>(eight.peakKilobytes) / 1024, "one camera",
                 static_cast<double>(alone.peakKilobytes) / 1024, "MB");
    reportFigure("  image", static_cast<double>(image.size()) / (1 << 20), "8 copies",
                 static_cast<double>(kCameras * image.size()) / (1 << 20), "MB");
}

}  // namespace tarnwick::bench
