// SPDX-License-Identifier: GPL-2.0-or-later
#include "guid.h"

#include <cstdio>
#include <vector>

#include "hex_digit.h"

namespace tarnwick {
namespace {

constexpr std::string_view kGroupSeparators = "{-}";
constexpr std::size_t kGroupCount = 5;
constexpr std::size_t kMaxLastGroupDigits = 16;
constexpr std::uint64_t kLastGroupMask = 0xFFFF'FFFF'FFFFULL;

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::vector<std::string_view> SplitGroups(std::string_view text) {
    std::vector<std::string_view> groups;
    std::size_t pos = text.find_first_not_of(kGroupSeparators);
    while (pos != std::string_view::npos) {
        const std::size_t end = text.find_first_of(kGroupSeparators, pos);
        groups.push_back(text.substr(pos, end == std::string_view::npos ? end : end - pos));
        pos = end == std::string_view::npos ? end : text.find_first_not_of(kGroupSeparators, end);
    }
    return groups;
}

std::string_view SkipWhiteSpace(std::string_view group) {
    while (!group.empty() && IsWhiteSpace(group.front())) {
        group.remove_prefix(1);
    }
    return group;
}

// Value of a group that must be digits only; nullopt when it is not.
std::optional<std::uint64_t> StrictGroupValue(std::string_view group) {
    group = SkipWhiteSpace(group);
    if (group.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : group) {
        const auto digit = HexDigitValue(c);
        if (!digit) {
            return std::nullopt;
        }
        value = (value << 4) | *digit;
    }
    return value;
}

// Value of the leading digits of the last group; nullopt when there are none.
std::optional<std::uint64_t> LeadingGroupValue(std::string_view group) {
    group = SkipWhiteSpace(group);
    if (group.empty() || !HexDigitValue(group.front())) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < group.size() && i < kMaxLastGroupDigits; ++i) {
        const auto digit = HexDigitValue(group[i]);
        if (!digit) {
            break;
        }
        value = (value << 4) | *digit;
    }
    return value;
}

}  // namespace

std::string FormatGuid(const Guid& guid) {
    std::uint64_t last = 0;
    for (std::size_t i = 2; i < guid.data4.size(); ++i) {
        last = (last << 8) | guid.data4[i];
    }
    char text[64];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%012llX}", guid.data1,
                  static_cast<unsigned>(guid.data2), static_cast<unsigned>(guid.data3),
                  static_cast<unsigned>(guid.data4[0]), static_cast<unsigned>(guid.data4[1]),
                  static_cast<unsigned long long>(last));
    return text;
}

std::optional<Guid> ParseGuid(std::string_view text) {
    const std::vector<std::string_view> groups = SplitGroups(text);
    if (groups.size() != kGroupCount) {
        return std::nullopt;
    }
    std::array<std::uint64_t, kGroupCount> values{};
    for (std::size_t i = 0; i + 1 < kGroupCount; ++i) {
        const auto value = StrictGroupValue(groups[i]);
        if (!value) {
            return std::nullopt;
        }
        values[i] = *value;
    }
    const auto last = LeadingGroupValue(groups[kGroupCount - 1]);
    if (!last) {
        return std::nullopt;
    }
    values[kGroupCount - 1] = *last & kLastGroupMask;

    Guid guid;
    guid.data1 = static_cast<std::uint32_t>(values[0]);
    guid.data2 = static_cast<std::uint16_t>(values[1]);
    guid.data3 = static_cast<std::uint16_t>(values[2]);
    guid.data4[0] = static_cast<std::uint8_t>(values[3] >> 8);
    guid.data4[1] = static_cast<std::uint8_t>(values[3]);
    for (std::size_t i = 0; i < 6; ++i) {
        guid.data4[2 + i] = static_cast<std::uint8_t>(values[4] >> (8 * (5 - i)));
    }
    return guid;
}

Guid ParseGuidOrZero(std::string_view text) {
    return ParseGuid(text).value_or(Guid{});
}

}  // namespace tarnwick
