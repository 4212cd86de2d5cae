#include "base64.h"

#include <gtest/gtest.h>

#include "package_writer.h"

namespace tarnwick {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Base64Decode, FillCharactersEndTheTextAfterTwoOrThreeCharacters) {
    EXPECT_EQ(DecodeBase64("QQ=="), (Bytes{'A'}));
    EXPECT_EQ(DecodeBase64("QUI="), (Bytes{'A', 'B'}));
    EXPECT_EQ(DecodeBase64("QUJD"), (Bytes{'A', 'B', 'C'}));
    EXPECT_EQ(DecodeBase64("QUI=garbage!"), (Bytes{'A', 'B'}));
}

TEST(Base64Decode, FillAfterZeroOrOneCharacterOfAGroupFails) {
    EXPECT_FALSE(DecodeBase64("QUJD="));
    EXPECT_FALSE(DecodeBase64("Q="));
    EXPECT_FALSE(DecodeBase64("="));
    EXPECT_FALSE(DecodeBase64(""));
}

TEST(Base64Decode, IncompleteLastByteIsDropped) {
    EXPECT_EQ(DecodeBase64("QUJDR"), (Bytes{'A', 'B', 'C'}));
    EXPECT_EQ(DecodeBase64("QUJDRE"), (Bytes{'A', 'B', 'C', 'D'}));
}

TEST(Base64Decode, CharacterOutsideTheAlphabetFails) {
    EXPECT_FALSE(DecodeBase64("QU JD"));
    EXPECT_FALSE(DecodeBase64("QUJD\r\n"));
    EXPECT_FALSE(DecodeBase64(" QUJD"));
    EXPECT_FALSE(DecodeBase64("QU*D"));
    EXPECT_FALSE(DecodeBase64(std::string_view("QU\0D", 4)));
    EXPECT_FALSE(DecodeBase64("QU\xC3\xA9"));
}

TEST(Base64Decode, ReadsWhatTheEncoderWritesForEveryByteValue) {
    for (std::size_t length = 1; length <= 7; ++length) {
        Bytes bytes;
        for (std::size_t i = 0; i < 256 * length; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(i * 7 + length));
        }
        bytes.resize(256 + length);
        EXPECT_EQ(DecodeBase64(EncodeBase64(bytes)), bytes) << length;
    }
}

}  // namespace
}  // namespace tarnwick
