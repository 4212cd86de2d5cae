// SPDX-License-Identifier: GPL-2.0-or-later
#include "item_properties.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "catalogues.h"

namespace tarnwick {
namespace {

constexpr std::uint32_t kLargestVersionPart = 0xFF;
constexpr std::uint32_t kLargestVersion = 0xFFFF;
constexpr std::string_view kVersionSeparators = ",.;:";

std::string Hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string ByteCountText(std::uintmax_t size) {
    // The low 32 bits, as the file system's size field gave them.
    return std::to_string(static_cast<std::uint32_t>(size)) + " Byte(s)";
}

std::int64_t SecondsSinceEpoch(std::filesystem::file_time_type time) {
    const auto system = std::chrono::file_clock::to_sys(time);
    return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

struct DiskFile {
    std::uintmax_t size;
    std::filesystem::file_time_type lastWrite;
};

std::optional<DiskFile> FindDiskFile(std::string_view path) {
    if (path.empty()) {
        return std::nullopt;
    }
    std::error_code error;
    const std::filesystem::path file(path);
    if (!std::filesystem::is_regular_file(file, error)) {
        return std::nullopt;
    }
    DiskFile found{std::filesystem::file_size(file, error), std::filesystem::last_write_time(file, error)};
    return error ? std::nullopt : std::optional(found);
}

bool IsDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

// The decimal digits at the start of text, after any spaces; nullopt when
// there are none or once the number outgrows largest.
std::optional<std::uint32_t> LeadingNumber(std::string_view text, std::uint32_t largest) {
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    if (text.empty() || !IsDecimalDigit(text.front())) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : text) {
        if (!IsDecimalDigit(c)) {
            break;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > largest) {
            return std::nullopt;
        }
    }
    return value;
}

}  // namespace

std::string CameraTypeText(std::uint32_t cameraType) {
    const CameraModel* model = FindCameraModel(cameraType);
    return model ? std::string(model->name) : std::string();
}

FilePropertyTexts DescribeFile(std::string_view path, const PackageItem* stored) {
    FilePropertyTexts texts;
    const std::optional<DiskFile> file = FindDiskFile(path);
    if (file) {
        texts.fileSize = ByteCountText(file->size);
        texts.fileDate = FormatFileTime(LocalFileTime(SecondsSinceEpoch(file->lastWrite)));
        return texts;
    }
    if (!path.empty()) {
        texts.fileSize = stored ? ByteCountText(stored->fileSize) : std::string(kFileNotFoundText);
    }
    if (stored) {
        texts.fileDate = FormatFileTime(stored->fileTime);
    }
    return texts;
}

ItemPropertyTexts DescribeItem(const Package* package, const PackageItem* item) {
    ItemPropertyTexts texts;
    if (!package || !item) {
        return texts;
    }
    texts.name = item->typeName;
    texts.cameraType = CameraTypeText(item->cameraType);
    texts.version = FormatVersion(item->version);
    texts.file = item->fileName;
    texts.editable = package->isUserBuilt();
    texts.fileProperties = DescribeFile(item->fileName, package->isUserBuilt() ? nullptr : item);
    return texts;
}

DestinationTexts DescribeDestination(const PackageItem* item, const RegionReadings& readings) {
    DestinationTexts texts;
    const ImageType* type = item ? FindImageType(item->typeGuid) : nullptr;
    if (!type) {
        return texts;
    }
    texts.name = item->typeName;
    texts.startAddress = Hex32(type->startAddress);
    texts.endAddress = Hex32(type->startAddress + type->regionSize - 1u);
    texts.size = Hex32(type->regionSize);
    texts.read = readings.valuesOf(type->startAddress, type->regionSize);
    return texts;
}

std::optional<std::uint32_t> ParseEditedVersion(std::string_view text) {
    const std::size_t separator = text.find_first_of(kVersionSeparators);
    if (separator == std::string_view::npos) {
        return LeadingNumber(text, kLargestVersion);
    }
    const std::optional<std::uint32_t> major = LeadingNumber(text, kLargestVersionPart);
    const std::optional<std::uint32_t> minor = LeadingNumber(text.substr(separator + 1), kLargestVersionPart);
    if (!major || !minor) {
        return std::nullopt;
    }
    return MakeVersion(*major, *minor);
}

bool SetEditedVersion(PackageItem& item, std::string_view text) {
    const std::optional<std::uint32_t> version = ParseEditedVersion(text);
    if (version) {
        item.version = *version;
    }
    return version.has_value();
}

}  // namespace tarnwick
