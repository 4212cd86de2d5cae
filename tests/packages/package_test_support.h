// SPDX-License-Identifier: GPL-2.0-or-later
// What several package tests share: image bytes, catalogue items and a
// recorder of the messages the user would see.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "catalogues.h"
#include "guid.h"
#include "package_model.h"
#include "user_messages.h"

namespace tarnwick::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::string_view kUcGuid = "{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}";
inline constexpr std::string_view kFpgaGuid = "{B3EE4757-AB4E-4B72-AD2B-528B2CF1A581}";
inline constexpr std::string_view kBootGuid = "{728F4F3D-0BED-499A-8385-5ECBE8116317}";
inline constexpr std::string_view kUnknownGuid = "{11111111-2222-3333-4444-555555555555}";

// Bytes that bzip2 cannot shrink to nothing, different for each seed.
inline Bytes Pattern(std::size_t size, unsigned seed = 1) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 13 + seed) ^ (i >> 7));
    }
    return bytes;
}

inline Bytes BytesOf(const PackageItem& item) { return {item.data().begin(), item.data().end()}; }

// A new item of the catalogue's type with that GUID.
inline PackageItem ItemOfType(std::string_view guid, std::string fileName = {}) {
    const ImageType* type = FindImageType(ParseGuidOrZero(guid));
    EXPECT_NE(type, nullptr) << guid;
    PackageItem item = type != nullptr ? PackageItem(*type) : PackageItem();
    item.fileName = std::move(fileName);
    return item;
}

// Text, caption and icon of each message shown.
class RecordingMessages final : public UserMessages {
public:
    void showMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
        shown.emplace_back(text, caption, icon);
    }
    std::vector<std::tuple<std::string, std::string, MessageIcon>> shown;
};

}  // namespace tarnwick::testing
