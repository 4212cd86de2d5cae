// SPDX-License-Identifier: GPL-2.0-or-later
// The in-memory model of update packages: Package and its PackageItems. The
// packages layer owns this model, the catalogues, the package and package
// list files, the XML engine and firmware import; it talks to the user only
// through UserMessages.
//
// Packages and items are made, changed and destroyed on the user interface
// thread only. While a job run is in progress the worker thread reads an
// item's data(); nothing changes an item then, so no lock is needed. Copies
// of an item share its image bytes, which nothing changes once loaded: while
// nothing changes a package, copies of it may be made on any thread, the
// workers of several cameras may read the bytes at once, each through its
// own copy, and the bytes go with the last copy that holds them.
//
// Errors: the model itself holds data and fails at nothing; a lookup that
// finds nothing returns nullptr. Reading and writing files report as
// package_file.h and package_store.h say.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogues.h"
#include "guid.h"

namespace tarnwick {

// Time stamp of a packed firmware file, in local time; all zero when unknown.
struct FileTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;      // 1 to 12
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;

    friend bool operator==(const FileTime&, const FileTime&) = default;
};

// Seconds since 1970 (UTC) as local time; all zero for times before 1970 or
// past the year 3000.
FileTime LocalFileTime(std::int64_t seconds);

// "%d.%m.%Y - %H:%M:%S" with two-digit fields and a four-digit year. A time
// whose year is below 1900 counts as time 0, shown as that instant in local
// time.
std::string FormatFileTime(const FileTime& time);

// An item's version holds the major number in bits 8 to 15, the minor in 0 to 7.
constexpr std::uint32_t MakeVersion(std::uint32_t major, std::uint32_t minor) {
    return (major << 8) | minor;
}

// "%u.%02u" of major and minor: 0x0102 gives "1.02".
std::string FormatVersion(std::uint32_t version);

// major * 100 + minor, the scale on which boot code versions are compared.
std::uint32_t VersionOnBootScale(std::uint32_t version);

// One firmware image with its description. The item holds its image data
// read-only; a copy shares it.
class PackageItem {
public:
    PackageItem() = default;
    // A new item of that type: type fields filled, everything else empty.
    explicit PackageItem(const ImageType& type);

    std::string typeName;
    // Package-file item: the packed file's name. User-built item: the full
    // path of the firmware file on disk, empty when none is attached.
    std::string fileName;
    std::uint32_t cameraType = kNoCameraModel;
    std::uint32_t version = 0;
    std::uint32_t fileSize = 0;
    std::uint32_t platform = 0;
    Guid typeGuid;
    FileTime fileTime;
    // Package-file item: the position of the file element it was read from
    // among the root's file elements (0 for the first), so that a type listed
    // twice still loads each item's own image. nullopt for any other item.
    std::optional<std::size_t> fileElement;

    bool hasData() const noexcept { return data_ && !data_->empty(); }
    std::span<const std::uint8_t> data() const noexcept {
        return data_ ? std::span<const std::uint8_t>(*data_) : std::span<const std::uint8_t>();
    }
    std::uint32_t dataLength() const noexcept { return static_cast<std::uint32_t>(data().size()); }

    void setData(std::vector<std::uint8_t> bytes) {
        data_ = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    }
    // Hands the bytes to another item: a load's result moved into the
    // package's own items. The item then holds none.
    std::shared_ptr<const std::vector<std::uint8_t>> takeData() noexcept { return std::exchange(data_, nullptr); }
    void setSharedData(std::shared_ptr<const std::vector<std::uint8_t>> bytes) noexcept { data_ = std::move(bytes); }
    // Lets go of the bytes (freed when no copy holds them); harmless when
    // there are none.
    void releaseData() noexcept;

private:
    std::shared_ptr<const std::vector<std::uint8_t>> data_;
};

// A named list of items. With a path, item data comes from that package file;
// with an empty path the user built the package and each item names its file.
class Package {
public:
    Package(std::string name, std::string path);

    const std::string& name() const noexcept { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& path() const noexcept { return path_; }
    bool isUserBuilt() const noexcept { return path_.empty(); }

    std::span<PackageItem> items() noexcept { return items_; }
    std::span<const PackageItem> items() const noexcept { return items_; }
    std::size_t itemCount() const noexcept { return items_.size(); }

    PackageItem* FindItemByGuid(const Guid& guid) noexcept;
    const PackageItem* FindItemByGuid(const Guid& guid) const noexcept;
    // First item whose typeName equals the text without regard to case.
    PackageItem* FindItemByTypeName(std::string_view typeName) noexcept;

    // Appends a copy unless an item of the same type is present (then false
    // and nothing changes).
    bool AddItem(const PackageItem& item);
    // Appends without the type check: a package file may repeat a type.
    void AppendItem(PackageItem item);
    // Removes the item with the same typeGuid, with its data; false when none.
    bool RemoveItem(const PackageItem& item);
    void ClearItems() noexcept;
    // Every item keeps its description and loses its data.
    void ReleaseAllData() noexcept;

    // Set when the package file could not be read as the package list was
    // loaded (a stick not mounted, say): the package keeps its name and path
    // but no items, so that the list keeps it until the user deletes it.
    bool fileUnreadable() const noexcept { return fileUnreadable_; }
    void setFileUnreadable() noexcept { fileUnreadable_ = true; }

private:
    std::string name_;
    std::string path_;
    std::vector<PackageItem> items_;
    bool fileUnreadable_ = false;
};

inline constexpr std::string_view kFileUnreadableMark = " (unreadable)";

// The name as a list of packages shows it: kFileUnreadableMark follows the
// name of a package whose file could not be read.
std::string ListedName(const Package& package);

// The image type of the first item whose type another item repeats; nullptr
// when every type is listed once. A package file may repeat a type, but an
// update could then program only one of the images.
const ImageType* findDuplicateImageType(const Package& package);
// Why such a package is refused: "Corvel::uC is listed twice in the package".
std::string DuplicateImageTypeText(const ImageType& type);

}  // namespace tarnwick
