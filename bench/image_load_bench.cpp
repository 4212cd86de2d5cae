// SPDX-License-Identifier: GPL-2.0-or-later
// Loading an item decodes base64 and then bzip2. Loading the 4 MiB image of
// a package file, file reading and parsing included, is measured against
// `base64 -d | bzip2 -d` on the same text; base64 decoding alone against
// the decompressor, which should dominate.
#include <cstring>
#include <vector>

#include "base64.h"
#include "bench.h"
#include "bzip2_image.h"
#include "file_io.h"
#include "package_file.h"
#include "package_writer.h"

namespace tarnwick::bench {
namespace {

void benchDecoders() {
    // The size of the largest microcontroller region, filled like code.
    std::vector<std::uint8_t> image(983040);
    std::uint32_t seed = 7;
    for (auto& byte : image) {
        seed = seed * 1664525U + 1013904223U;
        byte = static_cast<std::uint8_t>((seed >> 24) & 0x3F);
    }
    const EncodedImage encoded = EncodeImage(image);
    const auto stream = DecodeBase64(encoded.base64).value();

    volatile std::size_t sink = 0;
    const double base64 = fastest([&] { sink = DecodeBase64(encoded.base64)->size(); });
    const double bzip2 = fastest([&] { sink = DecompressImage(stream, image.size() + 4096).bytes.size(); });
    std::vector<std::uint8_t> copy(image.size());
    const double memoryCopy = fastest([&] {
        std::memcpy(copy.data(), image.data(), image.size());
        sink = copy[sink % copy.size()];
    });
    report("base64 decode of a 960 KiB image", base64, "bzip2 decompress of it", bzip2);
    report("bzip2 decompress of it", bzip2, "memcpy of the image", memoryCopy);
}

void benchPackageImageLoad() {
    const ScratchFolder folder;
    const std::filesystem::path path = writeSixMegabytePackage(folder.path());
    SilentMessages messages;
    auto package = OpenPackage("bench", path.string(), messages);
    if (!package || package->itemCount() == 0) {
        std::printf("image load: the package cannot be read\n");
        return;
    }
    PackageItem& flashItem = package->items().front();
    // The reference decodes the very text the package carries (the writer
    // is deterministic).
    const std::filesystem::path base64Text = folder.path() / "image.b64";
    LoadItemData(*package, &flashItem, messages);
    ReplaceFile(base64Text, EncodeImage(flashItem.data()).base64);

    const double load = fastest([&] { LoadItemData(*package, &flashItem, messages); }, 3);
    const ChildRun tools = fastestChild({"sh", "-c", "base64 -d '" + base64Text.string() + "' | bzip2 -d"}, 3);
    report("load of a 4 MiB image from the file", load, "base64 -d | bzip2 -d of it", tools.seconds);
    const double loadCpu = cheapest([&] { LoadItemData(*package, &flashItem, messages); }, 3);
    report("  its CPU time", loadCpu, "the tools' CPU time", tools.cpuSeconds);

    // CPU time: both run here, and it is what other work on the machine disturbs least.
    const double loadAll = cheapest([&] { LoadEveryItemData(*package, messages); }, 3);
    const double loadEach = cheapest([&] {
        for (PackageItem& item : package->items()) {
            LoadItemData(*package, &item, messages);
        }
    }, 3);
    report("load of all items (CPU time)", loadAll, "each item loaded alone", loadEach);
}

}  // namespace

void benchImageLoad() {
    benchDecoders();
    benchPackageImageLoad();
}

}  // namespace tarnwick::bench
