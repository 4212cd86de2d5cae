// SPDX-License-Identifier: GPL-2.0-or-later
// One-shot bzip2 decompression of a package item's image.
//
// Pure function over bytes; safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarnwick {

struct DecompressedImage {
    // 0 on success, otherwise the library's (negative) error code, e.g. -8
    // when the image needs more than the limit, -4 or -5 for damaged streams.
    int status = 0;
    std::vector<std::uint8_t> bytes;
};

// Decompresses the whole stream into at most outputLimit bytes. Raises
// std::bad_alloc when the output buffer cannot be reserved; on failure the
// result holds no bytes.
DecompressedImage DecompressImage(std::span<const std::uint8_t> stream, std::size_t outputLimit);

}  // namespace tarnwick
