#include "bzip2_image.h"

#include <gtest/gtest.h>

#include "package_test_support.h"
#include "package_writer.h"

namespace tarnwick {
namespace {

using namespace tarnwick::testing;

// The limit and damaged streams are tested through package files; these are
// the cases a package file cannot show.
TEST(Bzip2Image, FailuresKeepNoBytes) {
    const Bytes image = Pattern(5000);
    const Bytes stream = CompressBzip2(image);
    EXPECT_EQ(DecompressImage(stream, image.size()).bytes, image);
    EXPECT_TRUE(DecompressImage(stream, image.size() - 1).bytes.empty());
    const Bytes truncated(stream.begin(), stream.end() - 10);
    EXPECT_NE(DecompressImage(truncated, 10000).status, 0);
    EXPECT_TRUE(DecompressImage(truncated, 10000).bytes.empty());
    const Bytes notBzip2{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
    EXPECT_EQ(DecompressImage(notBzip2, 10000).status, -5);
    EXPECT_TRUE(DecompressImage(notBzip2, 10000).bytes.empty());
}

}  // namespace
}  // namespace tarnwick
