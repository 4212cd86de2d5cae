// Loading an item decodes base64 and then bzip2: the decompressor should
// dominate, so base64 decoding is measured against it.
#include <cstring>
#include <vector>

#include "base64.h"
#include "bench.h"
#include "bzip2_image.h"
#include "package_writer.h"

namespace tarnwick::bench {

void benchImageLoad() {
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

}  // namespace tarnwick::bench
