// SPDX-License-Identifier: GPL-2.0-or-later
#include "terminal_text.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace tarnwick {
namespace {

// How a lead byte of UTF-8 starts a sequence: its length, the bits of the
// code point it carries, and the smallest code point that needs the length.
struct Utf8Lead {
    unsigned char first;
    unsigned char last;
    std::size_t length;
    unsigned char valueBits;
    char32_t smallest;
};

constexpr std::array<Utf8Lead, 4> kUtf8Leads{{
    {0x00, 0x7F, 1, 0x7F, 0x0},
    {0xC2, 0xDF, 2, 0x1F, 0x80},
    {0xE0, 0xEF, 3, 0x0F, 0x800},
    {0xF0, 0xF4, 4, 0x07, 0x10000},
}};

constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

bool IsControl(char32_t codePoint) { return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F); }

// The length of the well-formed UTF-8 sequence at the start of text, with its
// code point; 0 when the text does not start with one.
std::size_t DecodeUtf8(std::string_view text, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(text.front());
    const auto* kind = std::find_if(kUtf8Leads.begin(), kUtf8Leads.end(), [lead](const Utf8Lead& candidate) {
        return lead >= candidate.first && lead <= candidate.last;
    });
    if (kind == kUtf8Leads.end() || text.size() < kind->length) {
        return 0;
    }
    char32_t value = lead & kind->valueBits;
    for (std::size_t i = 1; i < kind->length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if (!IsContinuation(next)) {
            return 0;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < kind->smallest || value > kLastCodePoint || (value >= kFirstSurrogate && value <= kLastSurrogate)) {
        return 0;
    }
    codePoint = value;
    return kind->length;
}

void AppendEscaped(std::string& shown, std::string_view bytes) {
    constexpr std::string_view kHexDigits = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        shown += "\\x";
        shown += kHexDigits[byte >> 4];
        shown += kHexDigits[byte & 0x0F];
    }
}

}  // namespace

std::string printable(std::string_view text, bool toTerminal) {
    if (!toTerminal) {
        return std::string(text);
    }
    std::string shown;
    shown.reserve(text.size());
    while (!text.empty()) {
        char32_t codePoint = 0;
        const std::size_t length = DecodeUtf8(text, codePoint);
        const std::size_t taken = std::max<std::size_t>(length, 1);
        if (length == 0 || IsControl(codePoint)) {
            AppendEscaped(shown, text.substr(0, taken));
        } else if (codePoint == U'\\') {
            shown += "\\\\";
        } else {
            shown += text.substr(0, taken);
        }
        text.remove_prefix(taken);
    }
    return shown;
}

}  // namespace tarnwick
