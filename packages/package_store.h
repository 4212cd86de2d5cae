// SPDX-License-Identifier: GPL-2.0-or-later
// The list of packages the main window shows, and the package list file
// that remembers it from one run to the next.
//
// The file is "Tarnwick.packages.xml" in the folder named by the ConfigPath
// setting. A package read from a package file is stored by its path and read
// again from that file when the list is loaded; a package the user built
// stores its items (image type and firmware file path), whose camera type and
// version are derived from the firmware file again when loading; a version
// the user typed over the derived one is stored with the item and kept.
//
// The caller reads ConfigPath afresh from the settings for every load and
// save and passes it in (the settings layer sits above this one).
//
// User interface thread only. Failures reach the user through UserMessages
// with the system's texts below; loading also tells its caller what it found,
// for front ends that must say more than the window does.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "package_model.h"
#include "user_messages.h"

namespace tarnwick {

inline constexpr std::string_view kPackageListFileName = "Tarnwick.packages.xml";
inline constexpr std::string_view kSaveListFailedText = "Can't save configuration data to\n%s";
inline constexpr std::string_view kSaveListCaption = "Save configuration data";
inline constexpr std::string_view kReadListFailedText = "Can't read configuration file";
inline constexpr std::string_view kUnreadListKeptText = "The old package list was not read whole and is kept as\n%s";
// The mark of a list moved aside: Tarnwick.packages.xml.unreadable-YYYYMMDD-HHMMSS.
inline constexpr std::string_view kUnreadListMark = "unreadable";

// An ordered list of owned packages: the order of loading and creation, and
// the order in which the file is written. A package keeps its address while
// it is in the store.
class PackageStore {
public:
    PackageStore() = default;
    PackageStore(PackageStore&&) noexcept = default;
    PackageStore& operator=(PackageStore&&) noexcept = default;
    PackageStore(const PackageStore&) = delete;
    PackageStore& operator=(const PackageStore&) = delete;

    std::size_t size() const noexcept { return packages_.size(); }
    bool empty() const noexcept { return packages_.empty(); }
    Package& operator[](std::size_t index) { return *packages_[index]; }
    const Package& operator[](std::size_t index) const { return *packages_[index]; }

    // Appends; names are checked by the caller.
    Package& Add(Package package);
    // Destroys the package (with its items' data); false when it is not here.
    bool Remove(const Package& package);
    void Clear() noexcept { packages_.clear(); }
    // The first package with that name, compared without regard to case.
    Package* FindByName(std::string_view name) noexcept;

    // The package list file that saving may write over: the one last loaded
    // whole, found missing or saved. Empty while there is none.
    const std::string& ownListFile() const noexcept { return ownListFile_; }
    void setOwnListFile(std::string file) { ownListFile_ = std::move(file); }

private:
    std::vector<std::unique_ptr<Package>> packages_;
    std::string ownListFile_;
};

// The package list file in that folder: folder, "/", kPackageListFileName.
std::string PackageListPath(std::string_view configPath);

// The file's text: one package element per package from a package file and
// per user-built package with items, CR LF line ends, no indentation.
std::string BuildPackageListText(const PackageStore& store);

// Replaces the file atomically, through a symlink. Nothing happens, silently,
// when configPath is empty or is not an existing folder. A file there that is
// not the store's own list file (it could not be read whole, or was never
// read) is first moved aside under kUnreadListMark, and the user sees
// kUnreadListKeptText with its new path. When the file cannot be moved,
// created, written or flushed the user sees kSaveListFailedText with the
// file's path and the old file stays as it was.
void SavePackageList(PackageStore& store, std::string_view configPath, UserMessages& messages);

enum class PackageListLoad {
    Loaded,           // every entry was taken; also for an empty configPath
    Missing,          // there is no file; kReadListFailedText was shown unless quiet
    Unreadable,       // the file cannot be read; kReadListFailedText was shown
    NotAPackageList,  // the file has no root element; nothing was shown
    Partial,          // some entries were dropped; nothing was shown
};

// Whether a missing file is reported: a folder the user chose must hold a
// list, while the settings' own folder holds none before the first save.
enum class MissingList { Reported, Quiet };

// Empties the store and fills it from the file. An empty configPath loads
// nothing, silently; a file that cannot be read, or that is missing (unless
// quiet), shows kReadListFailedText; an unparsable file loads nothing,
// silently. Entries without updpackage or without a name are dropped, and so
// are items of unknown type, without id or repeating a type; an entry whose
// package file cannot be read is kept, marked as such (Package::
// fileUnreadable). The store owns the file for saving only when it was loaded
// whole or is missing.
PackageListLoad LoadPackageList(PackageStore& store, std::string_view configPath, UserMessages& messages,
                                MissingList missing = MissingList::Reported);

// LoadPackageList on a package list file at any path (a copy from another
// machine, say); the store is emptied first.
PackageListLoad LoadPackageListFile(PackageStore& store, const std::string& file, UserMessages& messages,
                                    MissingList missing = MissingList::Reported);

}  // namespace tarnwick
