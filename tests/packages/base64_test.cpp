// SPDX-License-Identifier: GPL-2.0-or-later
#include "base64.h"

#include <gtest/gtest.h>

#include <string>

#include "package_test_support.h"
#include "package_writer.h"

namespace tarnwick {
namespace {

using tarnwick::testing::Bytes;

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

}  // namespace
}  // namespace tarnwick
