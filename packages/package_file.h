// SPDX-License-Identifier: GPL-2.0-or-later
// Reading update packages from package files, and loading item image data.
//
// A package file is an XML document: an optional packagename and one file
// element per item, whose data is the base64 text of the bzip2-compressed
// image. Packages built by the user (empty path) take each item's data from
// the firmware file the item names.
//
// User interface thread only (the package model's rule). Errors:
// - whole-file reads report "Not enough memory!" and "Can't read input file"
//   through UserMessages and appear to the caller as a plain failure;
// - file-level failures of LoadItemData are its result codes;
// - data-level failures raise PackageDataError carrying the user's text;
//   the item then holds no data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "package_model.h"
#include "user_messages.h"

namespace tarnwick {

class PackageDataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class LoadResult : std::uint32_t {
    Loaded = 0,
    NoItem = 0x01,
    NoFile = 0x02,            // user-built: no file named, or it does not exist
    FileReadFailed = 0x03,    // user-built: the file exists but reading failed
    NoPackageItem = 0x10,     // package file: no item given
    PackageUnreadable = 0x11, // package file: unreadable, unparsable or no root
    UnknownImageType = 0x12,  // package file: item's type not in the catalogue
    NoFileElement = 0x1F,     // package file: no file element of the item's type
};

// Replaces the package's items (and its name, when the file has one) with
// those of the file at its path. Items of unknown type, without guid or
// without data are dropped. False, with the package unchanged, when the file
// cannot be read or has no root element.
bool ReadPackage(Package& package, UserMessages& messages);

// A package with that name and path, read from the file when the path is not
// empty; nullopt when the file is missing or cannot be read.
std::optional<Package> OpenPackage(std::string name, std::string path, UserMessages& messages);

// Why the package file at path could not be opened, naming it: "Can't read
// package file PATH: REASON", the reason being the system's text for a file
// that cannot be opened (missing, a folder, not ours to read), otherwise
// "not a package file, or a damaged one".
std::string UnreadablePackageText(const std::filesystem::path& path);
// The same for a package file that gives its package no name.
std::string NamelessPackageText(const std::filesystem::path& path);

// Fills the item's data. The item is one of the package's; nullptr gives
// NoItem or NoPackageItem. A package-file item loads the file element it was
// read from, so a type listed twice loads each item's own image; an item
// made otherwise, or one whose element no longer holds its type, loads the
// first element of its type.
LoadResult LoadItemData(const Package& package, PackageItem* item, UserMessages& messages);

// ReadPackage and the package-file half of LoadItemData over a document text
// already in memory (PackageUnreadable when it has no root element).
bool ReadPackageText(Package& package, std::string_view text);
LoadResult LoadItemDataFromText(std::string_view text, PackageItem& item);

// The item whose data could not be loaded, by its position in the package,
// and why: its result code, or the text of the data error it raised (the
// result is then Loaded).
struct ItemLoadFailure {
    std::size_t item = 0;
    LoadResult result = LoadResult::Loaded;
    std::string raised;

    friend bool operator==(const ItemLoadFailure&, const ItemLoadFailure&) = default;
};

// Loads every item in order; nothing when every item was loaded. At the first
// failure, result code or raised data error alike, every item's data is
// released and the failing item is named.
std::optional<ItemLoadFailure> LoadEveryItemData(Package& package, UserMessages& messages);

}  // namespace tarnwick
