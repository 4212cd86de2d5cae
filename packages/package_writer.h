// SPDX-License-Identifier: GPL-2.0-or-later
// Builds package files: each image bzip2-compressed, then base64-encoded,
// with its type, camera type, version, file name, size and time. The package
// tool writes its packages with it, and so does a camera backup.
//
// Pure functions; safe on any thread. Failures raise std::runtime_error
// with a text for the user.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "guid.h"

namespace tarnwick {

std::string EncodeBase64(std::span<const std::uint8_t> bytes);

// bzip2 at its best block size.
std::vector<std::uint8_t> CompressBzip2(std::span<const std::uint8_t> bytes);

// One image as a package file carries it.
struct EncodedImage {
    std::uint32_t bz2size = 0;
    std::string base64;
};
EncodedImage EncodeImage(std::span<const std::uint8_t> image);

struct PackedFile {
    Guid type;
    std::string fileName;
    std::uint32_t cameraType = 0;
    std::uint32_t version = 0;
    // Seconds since 1970-01-01 00:00:00 UTC.
    std::int64_t time = 0;
    std::vector<std::uint8_t> image;
};

struct PackageContents {
    std::string name;
    std::int64_t time = 0;
    std::vector<PackedFile> files;
};

inline constexpr std::string_view kPackageRootName = "updatepackage";

// The document text: root, time, packagename, then one file element per image
// with guid, file, type, version, size, time, bz2size, b64size and data.
std::string BuildPackageText(const PackageContents& contents);

// Why the text would not give back the files when read as the program reads
// every package: an item missing, a type listed twice, an image that does not
// load as it was packed or does not fit its region; nothing when it reads
// back whole. A writer asks before anything is written.
std::optional<std::string> ReadBackRefusal(std::string_view text, std::span<const PackedFile> files);

}  // namespace tarnwick
