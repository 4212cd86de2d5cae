#include "base64.h"
#include "bzip2_image.h"

#include <gtest/gtest.h>

#include <string>

#include "package_test_support.h"
#include "package_writer.h"

namespace tarnwick {
namespace {

using tarnwick::testing::Bytes;
using tarnwick::testing::Pattern;

TEST(Base64Decode, FillCharactersEndTheTextAndIncompleteBytesAreDropped) {
    EXPECT_EQ(DecodeBase64("QQ=="), (Bytes{'A'}));
    EXPECT_EQ(DecodeBase64("QUI="), (Bytes{'A', 'B'}));
    EXPECT_EQ(DecodeBase64("QUJD"), (Bytes{'A', 'B', 'C'}));
    EXPECT_EQ(DecodeBase64("QUI=garbage!"), (Bytes{'A', 'B'}));
    EXPECT_EQ(DecodeBase64("QUJDR"), (Bytes{'A', 'B', 'C'}));
    EXPECT_EQ(DecodeBase64("QUJDRE"), (Bytes{'A', 'B', 'C', 'D'}));
}

TEST(Base64Decode, FillAfterZeroOrOneCharacterOfAGroupAndForeignCharactersFail) {
    for (std::string_view text : {"QUJD=", "Q=", "=", "", "QU JD", "QUJD\r\n", "QU*D", "QU\xC3\xA9"}) {
        EXPECT_FALSE(DecodeBase64(text)) << text;
    }
    EXPECT_FALSE(DecodeBase64(std::string_view("QU\0D", 4)));
}

TEST(Base64Decode, ReadsWhatTheEncoderWritesForEveryByteValue) {
    for (std::size_t length = 256; length <= 259; ++length) {
        Bytes bytes(length);
        for (std::size_t i = 0; i < length; ++i) {
            bytes[i] = static_cast<std::uint8_t>(i * 7 + length);
        }
        EXPECT_EQ(DecodeBase64(EncodeBase64(bytes)), bytes) << length;
    }
}

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
