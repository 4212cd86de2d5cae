// SPDX-License-Identifier: GPL-2.0-or-later
// The compiled-in catalogues of image types and camera models.
//
// Both tables are constant and may be read from any thread. Lookups return a
// pointer into the static table (never owning, never dangling) or nullptr
// when nothing matches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "guid.h"

namespace tarnwick {

// Camera families, numbered as the flash catalogue numbers platforms.
inline constexpr std::uint32_t kPlatformCorvel = 1;
inline constexpr std::uint32_t kPlatformSabrel = 2;
inline constexpr std::uint32_t kPlatformTessid = 4;
inline constexpr std::uint32_t kPlatformWendle = 5;

// startAddress of a family for which the catalogue gives no fixed region.
inline constexpr std::uint32_t kNoFixedAddress = 0xFFFFFFFF;

// One kind of image that can live in a camera's flash.
struct ImageType {
    std::uint32_t platform;
    std::uint32_t startAddress;
    // Size of the flash region; also the largest accepted compressed image.
    std::uint32_t regionSize;
    // major * 100 + minor; 0 means no requirement.
    std::uint32_t minBootVersion;
    // Family and component joined by "::".
    std::string_view name;
    Guid guid;
    bool isBootCode;
    // The item is programmed only when newer than the running boot code.
    bool checkBootVersion;
    // Programming sets the sector checksums and reads them back.
    bool sectorCrc;
};

// Display name and id of a camera model; the id is what packages store.
struct CameraModel {
    std::string_view name;
    std::uint32_t id;
};

inline constexpr std::uint32_t kNoCameraModel = 0;

// The length word that completes a programmed image lies this many bytes
// before the end of the image's region.
inline constexpr std::uint32_t kLengthWordOffsetFromEnd = 8;

// The most bytes an image may take in a region: everything before the
// length word, so that writing the word never overwrites the image.
constexpr std::uint32_t imageRoomInRegion(std::uint32_t regionSize) {
    return regionSize > kLengthWordOffsetFromEnd ? regionSize - kLengthWordOffsetFromEnd : 0;
}
constexpr std::uint32_t imageRoomInRegion(const ImageType& type) { return imageRoomInRegion(type.regionSize); }

// Why an image of imageSize bytes is refused for a region with room bytes.
std::string OversizedImageText(std::string_view itemName, std::uint32_t imageSize, std::uint32_t room);

// All rows in table order; the order is the programming order.
std::span<const ImageType> ImageTypes();

// The row whose guid equals the given one in all 16 bytes.
const ImageType* FindImageType(const Guid& guid);

// The row of that name ("Corvel::uC"), compared without regard to case.
const ImageType* FindImageTypeByName(std::string_view name);

// All rows in table order, "None" (id 0) first.
std::span<const CameraModel> CameraModels();

// The first row in table order with that id.
const CameraModel* FindCameraModel(std::uint32_t id);

}  // namespace tarnwick
