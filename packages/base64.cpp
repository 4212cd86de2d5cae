#include "base64.h"

#include <array>

namespace tarnwick {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kNotInAlphabet = 0xFF;
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

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t bits = 0;
    std::size_t consumed = 0;
    for (const char c : text) {
        if (c == kFill) {
            if (consumed % 4 < 2) {
                return std::nullopt;
            }
            break;
        }
        const std::uint8_t value = kDecodeTable[static_cast<unsigned char>(c)];
        if (value == kNotInAlphabet) {
            return std::nullopt;
        }
        bits = (bits << 6) | value;
        if (consumed % 4 != 0) {
            // Each character after the first of a group completes one byte.
            const unsigned spare = 2 * (3 - consumed % 4);
            out.push_back(static_cast<std::uint8_t>(bits >> spare));
            bits &= (1u << spare) - 1;
        }
        ++consumed;
    }
    return out;
}

}  // namespace tarnwick
