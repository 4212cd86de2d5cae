// SPDX-License-Identifier: GPL-2.0-or-later
#include "package_model.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iterator>

#include "ascii_case.h"

namespace tarnwick {
namespace {

template <typename Items, typename Predicate>
auto FindFirst(Items& items, Predicate matches) -> decltype(&items.front()) {
    const auto found = std::find_if(items.begin(), items.end(), matches);
    return found == items.end() ? nullptr : &*found;
}

// Time stamps past 3000-12-31 23:59:59 UTC, or before 1970, count as none.
constexpr std::int64_t kLatestFileTime = 32535215999;

}  // namespace

FileTime LocalFileTime(std::int64_t seconds) {
    if (seconds < 0 || seconds > kLatestFileTime) {
        return FileTime{};
    }
    const auto stamp = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&stamp, &local) == nullptr) {
        return FileTime{};
    }
    return FileTime{static_cast<std::uint16_t>(local.tm_year + 1900), static_cast<std::uint16_t>(local.tm_mon + 1),
                    static_cast<std::uint16_t>(local.tm_mday),        static_cast<std::uint16_t>(local.tm_hour),
                    static_cast<std::uint16_t>(local.tm_min),         static_cast<std::uint16_t>(local.tm_sec),
                    0};
}

std::string FormatFileTime(const FileTime& time) {
    const FileTime shown = time.year < 1900 ? LocalFileTime(0) : time;
    char text[40];
    std::snprintf(text, sizeof text, "%02u.%02u.%04u - %02u:%02u:%02u", unsigned{shown.day}, unsigned{shown.month},
                  unsigned{shown.year}, unsigned{shown.hour}, unsigned{shown.minute}, unsigned{shown.second});
    return text;
}

std::string FormatVersion(std::uint32_t version) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%02u", (version >> 8) & 0xFFu, version & 0xFFu);
    return text;
}

std::uint32_t VersionOnBootScale(std::uint32_t version) {
    return ((version >> 8) & 0xFFu) * 100 + (version & 0xFFu);
}

PackageItem::PackageItem(const ImageType& type)
    : typeName(type.name), platform(type.platform), typeGuid(type.guid) {}

void PackageItem::releaseData() noexcept {
    data_.reset();
}

Package::Package(std::string name, std::string path) : name_(std::move(name)), path_(std::move(path)) {}

PackageItem* Package::FindItemByGuid(const Guid& guid) noexcept {
    return FindFirst(items_, [&guid](const PackageItem& item) { return item.typeGuid == guid; });
}

const PackageItem* Package::FindItemByGuid(const Guid& guid) const noexcept {
    return FindFirst(items_, [&guid](const PackageItem& item) { return item.typeGuid == guid; });
}

PackageItem* Package::FindItemByTypeName(std::string_view typeName) noexcept {
    return FindFirst(items_,
                     [typeName](const PackageItem& item) { return EqualIgnoringCase(item.typeName, typeName); });
}

bool Package::AddItem(const PackageItem& item) {
    if (FindItemByGuid(item.typeGuid) != nullptr) {
        return false;
    }
    items_.push_back(item);
    return true;
}

void Package::AppendItem(PackageItem item) {
    items_.push_back(std::move(item));
}

bool Package::RemoveItem(const PackageItem& item) {
    const auto found = std::find_if(items_.begin(), items_.end(),
                                    [&item](const PackageItem& own) { return own.typeGuid == item.typeGuid; });
    if (found == items_.end()) {
        return false;
    }
    items_.erase(found);
    return true;
}

void Package::ClearItems() noexcept {
    items_.clear();
}

void Package::ReleaseAllData() noexcept {
    for (PackageItem& item : items_) {
        item.releaseData();
    }
}

std::string ListedName(const Package& package) {
    return package.fileUnreadable() ? package.name() + std::string(kFileUnreadableMark) : package.name();
}

const ImageType* findDuplicateImageType(const Package& package) {
    const auto items = package.items();
    for (auto item = items.begin(); item != items.end(); ++item) {
        const auto sameType = [&item](const PackageItem& later) { return later.typeGuid == item->typeGuid; };
        if (std::any_of(std::next(item), items.end(), sameType)) {
            if (const ImageType* type = FindImageType(item->typeGuid)) {
                return type;
            }
        }
    }
    return nullptr;
}

std::string DuplicateImageTypeText(const ImageType& type) {
    return std::string(type.name) + " is listed twice in the package";
}

}  // namespace tarnwick
