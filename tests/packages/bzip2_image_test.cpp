#include "bzip2_image.h"

#include <gtest/gtest.h>

#include "package_test_support.h"
#include "package_writer.h"

namespace tarnwick {
namespace {

using testing::Bytes;
using testing::Pattern;

TEST(Bzip2Image, DecompressesUpToTheLimitAndKeepsNothingOnFailure) {
    const Bytes image = Pattern(5000);
    const Bytes stream = CompressBzip2(image);
    Bytes damaged = stream;
    damaged[damaged.size() / 2] ^= 0x55;
    const Bytes truncated(stream.begin(), stream.end() - 10);
    const struct {
        const char* name;
        Bytes stream;
        std::size_t limit;
        int status;
    } cases[] = {
        {"exactly the limit", stream, image.size(), 0},
        {"one byte over the limit", stream, image.size() - 1, -8},
        {"damaged stream", damaged, 10000, -4},
        {"no bzip2 at all", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}, 10000, -5},
    };
    for (const auto& row : cases) {
        const DecompressedImage result = DecompressImage(row.stream, row.limit);
        EXPECT_EQ(result.status, row.status) << row.name;
        EXPECT_EQ(result.bytes, row.status == 0 ? image : Bytes{}) << row.name;
    }
    EXPECT_NE(DecompressImage(truncated, 10000).status, 0);
    EXPECT_TRUE(DecompressImage(truncated, 10000).bytes.empty());
}

}  // namespace
}  // namespace tarnwick
