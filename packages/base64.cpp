// SPDX-License-Identifier: GPL-2.0-or-later
#include "base64.h"

#include <array>

namespace tarnwick {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kNotInAlphabet = 0xFF;
// Bits that no value of the alphabet (0 to 63) has.
constexpr std::uint32_t kOutsideAlphabetBits = 0xC0;
constexpr char kFill = '=';

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kNotInAlphabet);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kDecodeTable = MakeDecodeTable();

}  // namespace

// Four characters make three bytes; a shorter last group makes one byte
// fewer than it has characters.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    const std::string_view body = text.substr(0, text.find(kFill));
    if (body.size() < text.size() && body.size() % 4 < 2) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(body.size() / 4 * 3 + 2);
    std::uint8_t* next = out.data();
    std::size_t index = 0;
    for (; index + 4 <= body.size(); index += 4) {
        const std::uint32_t a = kDecodeTable[static_cast<unsigned char>(body[index])];
        const std::uint32_t b = kDecodeTable[static_cast<unsigned char>(body[index + 1])];
        const std::uint32_t c = kDecodeTable[static_cast<unsigned char>(body[index + 2])];
        const std::uint32_t d = kDecodeTable[static_cast<unsigned char>(body[index + 3])];
        if (((a | b | c | d) & kOutsideAlphabetBits) != 0) {
            return std::nullopt;
        }
        const std::uint32_t bits = (a << 18) | (b << 12) | (c << 6) | d;
        *next++ = static_cast<std::uint8_t>(bits >> 16);
        *next++ = static_cast<std::uint8_t>(bits >> 8);
        *next++ = static_cast<std::uint8_t>(bits);
    }
    std::uint32_t bits = 0;
    for (std::size_t position = 0; index < body.size(); ++index, ++position) {
        const std::uint8_t value = kDecodeTable[static_cast<unsigned char>(body[index])];
        if (value == kNotInAlphabet) {
            return std::nullopt;
        }
        bits = (bits << 6) | value;
        if (position != 0) {
            const unsigned spare = 2 * (3 - position);
            *next++ = static_cast<std::uint8_t>(bits >> spare);
            bits &= (1u << spare) - 1;
        }
    }
    out.resize(static_cast<std::size_t>(next - out.data()));
    return out;
}

}  // namespace tarnwick
