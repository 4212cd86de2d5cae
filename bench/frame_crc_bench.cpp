// SPDX-License-Identifier: GPL-2.0-or-later
// The frame checksum runs over every byte on the wire; its table-driven form
// should stay well ahead of the plain bit-by-bit definition.
#include <vector>

#include "bench.h"
#include "frame_link.h"

namespace tarnwick::bench {
namespace {

std::uint32_t bitwiseCrc(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = 0;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) != 0 ? (crc >> 1) ^ 0xEDB88320U : crc >> 1;
        }
    }
    return crc;
}

}  // namespace

void benchFrameCrc() {
    std::vector<std::uint8_t> flashImage(4 << 20);
    for (std::size_t index = 0; index < flashImage.size(); ++index) {
        flashImage[index] = static_cast<std::uint8_t>(index * 131 + (index >> 9));
    }
    volatile std::uint32_t sink = 0;
    const double table = fastest([&] { sink = frameCrc(flashImage); });
    const double bitwise = fastest([&] { sink = bitwiseCrc(flashImage); });
    report("frameCrc over 4 MiB", table, "bit-by-bit CRC-32", bitwise);
}

}  // namespace tarnwick::bench
