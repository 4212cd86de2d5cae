// SPDX-License-Identifier: GPL-2.0-or-later
#include "catalogues.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "ascii_case.h"
#include "hex_digit.h"

namespace tarnwick {
namespace {

// Upper case only, as package files and the window show identifiers.
consteval unsigned LiteralDigit(char c) {
    const auto value = c >= 'a' && c <= 'f' ? std::nullopt : HexDigitValue(c);
    if (!value) {
        throw "GUID literal digits must be 0-9 or A-F";
    }
    return *value;
}

consteval std::uint64_t HexField(std::string_view text, std::size_t first, std::size_t digits) {
    std::uint64_t value = 0;
    for (std::size_t i = first; i < first + digits; ++i) {
        value = (value << 4) | LiteralDigit(text[i]);
    }
    return value;
}

// Builds a Guid from its brace form at compile time, so the table reads like
// the identifiers that package files carry.
consteval Guid GuidLiteral(std::string_view text) {
    if (text.size() != 38 || text[0] != '{' || text[9] != '-' || text[14] != '-' || text[19] != '-' ||
        text[24] != '-' || text[37] != '}') {
        throw "GUID literal must have the brace form";
    }
    Guid guid;
    guid.data1 = static_cast<std::uint32_t>(HexField(text, 1, 8));
    guid.data2 = static_cast<std::uint16_t>(HexField(text, 10, 4));
    guid.data3 = static_cast<std::uint16_t>(HexField(text, 15, 4));
    guid.data4[0] = static_cast<std::uint8_t>(HexField(text, 20, 2));
    guid.data4[1] = static_cast<std::uint8_t>(HexField(text, 22, 2));
    for (std::size_t i = 0; i < 6; ++i) {
        guid.data4[2 + i] = static_cast<std::uint8_t>(HexField(text, 25 + 2 * i, 2));
    }
    return guid;
}

constexpr std::array<ImageType, 17> kImageTypes{{
    {kPlatformCorvel, 0x00000000, 0x4000, 0, "Corvel::Bootloader",
     GuidLiteral("{728F4F3D-0BED-499A-8385-5ECBE8116317}"), true, true, true},
    {kPlatformCorvel, 0x00010000, 0xF0000, 0, "Corvel::uC", GuidLiteral("{CFC5136C-DC35-4871-898C-0EE8AD4F20A0}"),
     false, false, true},
    {kPlatformCorvel, 0x00100000, 0x40000, 0, "Corvel::FPGA", GuidLiteral("{B3EE4757-AB4E-4B72-AD2B-528B2CF1A581}"),
     false, false, true},
    {kPlatformCorvel, 0x00000000, 0x400000, 0, "Corvel::FLASH",
     GuidLiteral("{122C8D59-C554-47BD-A187-43CF6B5D1C0B}"), false, false, false},
    {kPlatformSabrel, 0x00000000, 0x4000, 0, "Sabrel::Bootloader",
     GuidLiteral("{9AC50DB9-DDB5-4282-9045-A8B32323B9D6}"), true, true, true},
    {kPlatformSabrel, 0x00010000, 0x70000, 0, "Sabrel::uC", GuidLiteral("{4CBE8362-4A88-4CCF-A2B6-4513233A6C13}"),
     false, false, true},
    {kPlatformSabrel, 0x00080000, 0x80000, 0, "Sabrel::FPGA", GuidLiteral("{4F5CAEA8-5697-42CA-838D-7FE02B3736FD}"),
     false, false, true},
    {kPlatformSabrel, 0x0000E000, 0x2000, 0, "Sabrel::PersonalizationData",
     GuidLiteral("{AAA38FA1-61CF-4C08-9121-2499550D533C}"), false, false, false},
    {kPlatformSabrel, 0x00000000, 0x200000, 0, "Sabrel::FLASH",
     GuidLiteral("{3650B605-0558-408A-9FA6-E8960A425EBE}"), false, false, false},
    {kPlatformTessid, kNoFixedAddress, 0x10000, 0, "Tessid::Bootloader",
     GuidLiteral("{00587438-1760-46A4-B742-D018DE3159EC}"), true, true, true},
    {kPlatformTessid, kNoFixedAddress, 0x80000, 0, "Tessid::uC-1",
     GuidLiteral("{F1BA7C53-D979-436F-A420-F4CDD1A41E0F}"), false, false, true},
    {kPlatformTessid, kNoFixedAddress, 0x80000, 0, "Tessid::uC-2",
     GuidLiteral("{5EB308F8-96A5-4B28-85FB-07458112AA97}"), false, false, true},
    {kPlatformTessid, kNoFixedAddress, 0x80000, 0, "Tessid::FPGA",
     GuidLiteral("{BBBA404D-C4CE-4777-BEAB-588C8B90CF00}"), false, false, true},
    {kPlatformWendle, kNoFixedAddress, 0x10000, 0, "Wendle::Bootloader",
     GuidLiteral("{BD9B1AF9-13AD-4702-9523-53288880825A}"), true, true, true},
    {kPlatformWendle, kNoFixedAddress, 0x80000, 0, "Wendle::uC-1",
     GuidLiteral("{63B4C1FF-C9E7-4514-9CD0-262B7575A07D}"), false, false, true},
    {kPlatformWendle, kNoFixedAddress, 0x80000, 0, "Wendle::uC-2",
     GuidLiteral("{2CBB754D-80FE-4777-BC21-950F487A09BF}"), false, false, true},
    {kPlatformWendle, kNoFixedAddress, 0x80000, 0, "Wendle::FPGA",
     GuidLiteral("{EE34B634-9022-486B-8401-781D4F1507BF}"), false, false, true},
}};

// Rows 15 and 16 share a name on purpose: both ids occur in the field.
constexpr std::array<CameraModel, 39> kCameraModels{{
    {"None", 0},         {"Corvel1b", 1},     {"Corvel1c", 2},     {"Corvel2b", 3},     {"Corvel2c", 4},
    {"Sabrel1b", 9},     {"Sabrel1c", 10},    {"Sabrel2b", 11},    {"Sabrel2c", 12},    {"Sabrel3b", 13},
    {"Sabrel3c", 14},    {"Sabrel4b", 15},    {"Sabrel4c", 16},    {"Sabrel5b", 17},    {"Sabrel5c", 18},
    {"Tessid1b", 101},   {"Tessid1b", 102},   {"Tessid2b", 103},   {"Tessid2c", 104},   {"Tessid3b", 105},
    {"Tessid3c", 106},   {"Tessid4b", 107},   {"Tessid4c", 108},   {"Tessid5b", 109},   {"Tessid5c", 110},
    {"Tessid6b", 111},   {"Tessid6c", 112},   {"Tessid4bm", 113},  {"Tessid4cm", 114},  {"Wendle1b", 201},
    {"Wendle1c", 202},   {"Wendle2b", 203},   {"Wendle2c", 204},   {"Wendle3b", 205},   {"Wendle3c", 206},
    {"Wendle4b", 207},   {"Wendle4c", 208},   {"Wendle5b", 209},   {"Wendle5c", 210},
}};

template <typename Row, std::size_t N, typename Predicate>
const Row* FindRow(const std::array<Row, N>& table, Predicate matches) {
    const auto found = std::find_if(table.begin(), table.end(), matches);
    return found == table.end() ? nullptr : &*found;
}

}  // namespace

std::span<const ImageType> ImageTypes() {
    return kImageTypes;
}

const ImageType* FindImageType(const Guid& guid) {
    return FindRow(kImageTypes, [&guid](const ImageType& row) { return row.guid == guid; });
}

const ImageType* FindImageTypeByName(std::string_view name) {
    return FindRow(kImageTypes, [name](const ImageType& row) { return EqualIgnoringCase(row.name, name); });
}

std::span<const CameraModel> CameraModels() {
    return kCameraModels;
}

const CameraModel* FindCameraModel(std::uint32_t id) {
    return FindRow(kCameraModels, [id](const CameraModel& row) { return row.id == id; });
}

std::string OversizedImageText(std::string_view itemName, std::uint32_t imageSize, std::uint32_t room) {
    const std::string name(itemName);
    char counts[96];
    std::snprintf(counts, sizeof counts, ": image of %u bytes does not fit its region (%u bytes free before the length word)",
                  static_cast<unsigned>(imageSize), static_cast<unsigned>(room));
    return name + counts;
}

}  // namespace tarnwick
