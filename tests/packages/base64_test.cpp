#include "base64.h"

#include <gtest/gtest.h>

#include <optional>

#include "package_test_support.h"
#include "package_writer.h"

namespace tarnwick {
namespace {

using testing::Bytes;

TEST(Base64Decode, FillCharactersIncompleteBytesAndForeignCharacters) {
    const struct {
        const char* name;
        std::string_view text;
        std::optional<Bytes> expected;
    } cases[] = {
        {"one byte", "QQ==", Bytes{'A'}},
        {"two bytes", "QUI=", Bytes{'A', 'B'}},
        {"three bytes", "QUJD", Bytes{'A', 'B', 'C'}},
        {"text after the fill is ignored", "QUI=garbage!", Bytes{'A', 'B'}},
        {"six bits are dropped", "QUJDR", Bytes{'A', 'B', 'C'}},
        {"twelve bits give a byte", "QUJDRE", Bytes{'A', 'B', 'C', 'D'}},
        {"fill after a whole group", "QUJD=", std::nullopt},
        {"fill after one character", "Q=", std::nullopt},
        {"fill alone", "=", std::nullopt},
        {"empty text", "", std::nullopt},
        {"space", "QU JD", std::nullopt},
        {"line end", "QUJD\r\n", std::nullopt},
        {"symbol", "QU*D", std::nullopt},
        {"zero byte", std::string_view("QU\0D", 4), std::nullopt},
        {"non-ASCII", "QU\xC3\xA9", std::nullopt},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(DecodeBase64(row.text), row.expected) << row.name;
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
