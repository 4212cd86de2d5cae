#include "bzip2_image.h"

#include <gtest/gtest.h>

#include "package_writer.h"

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 31) ^ (i >> 8));
    }
    return bytes;
}

TEST(Bzip2Image, DecompressesUpToExactlyTheLimit) {
    const Bytes image = Pattern(5000);
    const DecompressedImage result = DecompressImage(CompressBzip2(image), image.size());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.bytes, image);
}

TEST(Bzip2Image, OneByteOverTheLimitIsOutputBufferFull) {
    const Bytes image = Pattern(5000);
    const DecompressedImage result = DecompressImage(CompressBzip2(image), image.size() - 1);
    EXPECT_EQ(result.status, -8);
    EXPECT_TRUE(result.bytes.empty());
}

TEST(Bzip2Image, DamagedStreamsGiveDataErrors) {
    Bytes stream = CompressBzip2(Pattern(5000));
    stream[stream.size() / 2] ^= 0x55;
    EXPECT_EQ(DecompressImage(stream, 10000).status, -4);

    const Bytes notBzip2{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
    EXPECT_EQ(DecompressImage(notBzip2, 10000).status, -5);
    EXPECT_TRUE(DecompressImage(notBzip2, 10000).bytes.empty());
}

TEST(Bzip2Image, TruncatedStreamIsReportedNotAccepted) {
    Bytes stream = CompressBzip2(Pattern(5000));
    stream.resize(stream.size() - 10);
    EXPECT_NE(DecompressImage(stream, 10000).status, 0);
}

}  // namespace
}  // namespace tarnwick
