#include "base64.h"

#include <gtest/gtest.h>

#include <optional>
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

// The decoder's rules one character at a time, as plainly as they read.
std::optional<Bytes> ReferenceDecode(std::string_view text) {
    constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.empty()) {
        return std::nullopt;
    }
    Bytes out;
    std::uint32_t bits = 0;
    std::size_t consumed = 0;
    for (const char c : text) {
        if (c == '=') {
            return consumed % 4 < 2 ? std::nullopt : std::optional(out);
        }
        const std::size_t value = kAlphabet.find(c);
        if (value == std::string_view::npos) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        if (consumed % 4 != 0) {
            const unsigned spare = 2 * (3 - consumed % 4);
            out.push_back(static_cast<std::uint8_t>(bits >> spare));
            bits &= (1u << spare) - 1;
        }
        ++consumed;
    }
    return out;
}

TEST(Base64Decode, AgreesWithTheCharacterByCharacterRulesOnMixedTexts) {
    constexpr std::string_view kPieces = "AQz+/9=*\n";
    std::uint32_t state = 11;
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        const std::size_t length = round % 14;
        for (std::size_t index = 0; index < length; ++index) {
            state = state * 1664525U + 1013904223U;
            // Mostly alphabet characters, so that long valid runs occur.
            const std::size_t pick = (state >> 24) % (kPieces.size() + 12);
            text += pick < kPieces.size() ? kPieces[pick] : kPieces[pick % 5];
        }
        EXPECT_EQ(DecodeBase64(text), ReferenceDecode(text)) << text;
    }
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
