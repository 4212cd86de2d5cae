// SPDX-License-Identifier: GPL-2.0-or-later
#include "bzip2_image.h"

#include <bzlib.h>

#include <limits>

namespace tarnwick {
namespace {

constexpr int kSmallMemoryMode = 0;
constexpr int kQuiet = 0;

}  // namespace

DecompressedImage DecompressImage(std::span<const std::uint8_t> stream, std::size_t outputLimit) {
    constexpr std::size_t kLibraryMax = std::numeric_limits<unsigned int>::max();
    if (stream.size() > kLibraryMax || outputLimit > kLibraryMax) {
        return DecompressedImage{BZ_PARAM_ERROR, {}};
    }
    DecompressedImage image;
    image.bytes.resize(outputLimit);
    auto produced = static_cast<unsigned int>(outputLimit);
    // The library takes non-const pointers but does not write the source.
    image.status = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(image.bytes.data()), &produced,
                                              const_cast<char*>(reinterpret_cast<const char*>(stream.data())),
                                              static_cast<unsigned int>(stream.size()), kSmallMemoryMode, kQuiet);
    if (image.status != BZ_OK) {
        std::vector<std::uint8_t>().swap(image.bytes);
        return image;
    }
    image.bytes.resize(produced);
    return image;
}

}  // namespace tarnwick
