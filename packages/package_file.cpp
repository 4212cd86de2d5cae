// SPDX-License-Identifier: GPL-2.0-or-later
#include "package_file.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <filesystem>
#include <new>

#include "base64.h"
#include "bzip2_image.h"
#include "catalogues.h"
#include "file_io.h"
#include "guid.h"
#include "xml_document.h"

namespace tarnwick {
namespace {

constexpr std::string_view kBase64Failed = "base64 decode failed";
constexpr std::string_view kImageTooLarge = "input file execeeds max allowed size";
constexpr std::string_view kNoImageBuffer = "can't allocate binary data buffer";
constexpr std::string_view kDecompressFailed = "Can't decompress file. (";

// Room the decompressed image may take beyond its flash region.
constexpr std::size_t kDecompressSlack = 4096;

constexpr std::string_view kUnreadablePackage = "Can't read package file ";
constexpr std::string_view kNotAPackageFile = "not a package file, or a damaged one";
constexpr std::string_view kNoPackageName = "no package name in the file";

constexpr std::string_view kCaption = "Tarnwick";
constexpr std::string_view kNotEnoughMemory = "Not enough memory!";
constexpr std::string_view kCantReadInput = "Can't read input file";

bool IsOpenFailure(const std::error_code& error) {
    constexpr std::array kOpenFailures{std::errc::no_such_file_or_directory, std::errc::permission_denied,
                                       std::errc::is_a_directory,            std::errc::not_a_directory,
                                       std::errc::invalid_argument,          std::errc::filename_too_long,
                                       std::errc::too_many_symbolic_link_levels};
    return std::any_of(kOpenFailures.begin(), kOpenFailures.end(),
                       [&error](std::errc open) { return error == open; });
}

// A file that cannot be opened fails quietly; one that opens but cannot be
// read whole is reported to the user. The caller sees a plain failure.
template <typename Contents>
std::optional<decltype(Contents::bytes)> ReadWhole(Contents (*read)(const std::filesystem::path&, std::uintmax_t),
                                                   const std::string& path, UserMessages& messages) {
    Contents contents;
    try {
        contents = read(path, kNoSizeLimit);
    } catch (const std::bad_alloc&) {
        messages.showMessage(kNotEnoughMemory, kCaption, MessageIcon::Exclamation);
        return std::nullopt;
    }
    if (contents.ok()) {
        return std::move(contents.bytes);
    }
    if (IsOpenFailure(contents.error)) {
        return std::nullopt;
    }
    const bool outOfMemory = contents.error == std::errc::not_enough_memory;
    messages.showMessage(outOfMemory ? kNotEnoughMemory : kCantReadInput, kCaption, MessageIcon::Exclamation);
    return std::nullopt;
}

std::optional<std::string> ReadWholeFile(const std::string& path, UserMessages& messages) {
    return ReadWhole(&ReadTextFile, path, messages);
}

std::optional<std::vector<std::uint8_t>> ReadWholeFileBytes(const std::string& path, UserMessages& messages) {
    return ReadWhole(&ReadBinaryFile, path, messages);
}

// The document parsed; nullopt when it has no root element.
std::optional<TypedXmlDocument> ParsePackageText(std::string text) {
    TypedXmlDocument document;
    if (!document.AdoptText(std::move(text)) || !document.HasRoot()) {
        return std::nullopt;
    }
    return document;
}

// Children of a file element may stand in any order: each search starts over.
bool FindFileChild(TypedXmlDocument& document, std::string_view name) {
    document.RewindChildren();
    return document.FindChild(name);
}

std::string FileChildText(TypedXmlDocument& document, std::string_view name) {
    return FindFileChild(document, name) ? document.ChildText() : std::string();
}

std::uint32_t FileChildNumber(TypedXmlDocument& document, std::string_view name) {
    std::uint32_t value = 0;
    if (FindFileChild(document, name)) {
        document.ChildNumber(value);
    }
    return value;
}

FileTime FileChildTime(TypedXmlDocument& document) {
    std::int64_t seconds = 0;
    if (!FindFileChild(document, "time") || !document.ChildNumber64(seconds)) {
        return FileTime{};
    }
    return LocalFileTime(seconds);
}

// The item described by the entered file element, or nullopt when it is to be
// dropped: no guid, a type outside the catalogue, or no data text.
std::optional<PackageItem> ReadFileElement(TypedXmlDocument& document) {
    if (!FindFileChild(document, "guid")) {
        return std::nullopt;
    }
    PackageItem item;
    item.typeGuid = ParseGuidOrZero(document.ChildText());
    item.fileName = FileChildText(document, "file");
    item.cameraType = FileChildNumber(document, "type");
    item.version = FileChildNumber(document, "version");
    item.fileSize = FileChildNumber(document, "size");
    item.fileTime = FileChildTime(document);
    const ImageType* type = FindImageType(item.typeGuid);
    std::string decoded;
    if (type == nullptr || !FindFileChild(document, "data") || document.ChildTextView(decoded).empty()) {
        return std::nullopt;
    }
    item.typeName = type->name;
    item.platform = type->platform;
    return item;
}

bool EnteredElementHasType(TypedXmlDocument& document, const Guid& type) {
    return FindFileChild(document, "guid") && ParseGuidOrZero(document.ChildText()) == type;
}

// Enters the next file element of the root that has a guid equal to the
// given one; false when there is none. Elements without a guid are skipped.
bool EnterFileElementOfType(TypedXmlDocument& document, const Guid& type) {
    while (document.FindChild("file")) {
        document.EnterElement();
        if (EnteredElementHasType(document, type)) {
            return true;
        }
        document.LeaveElement();
    }
    return false;
}

// Enters the file element at that position among the root's file elements
// when it still holds an image of the type.
bool EnterFileElementAt(TypedXmlDocument& document, std::size_t position, const Guid& type) {
    for (std::size_t index = 0; document.FindChild("file"); ++index) {
        if (index == position) {
            document.EnterElement();
            if (EnteredElementHasType(document, type)) {
                return true;
            }
            document.LeaveElement();
            return false;
        }
    }
    return false;
}

// The item's own element when it names one that still fits; otherwise (an
// item made elsewhere, or a file changed since it was read) the first
// element of the item's type.
bool EnterItemElement(TypedXmlDocument& document, const PackageItem& item) {
    if (item.fileElement && EnterFileElementAt(document, *item.fileElement, item.typeGuid)) {
        return true;
    }
    document.RewindChildren();
    return EnterFileElementOfType(document, item.typeGuid);
}

// Reading takes the file elements after the packagename only; positions of
// elements count those before it too, as loading sees every one.
std::size_t FileElementsBeforeName(TypedXmlDocument& document) {
    std::size_t count = 0;
    while (document.FindChild()) {
        const std::string name = document.ChildName();
        if (name == "packagename") {
            return count;
        }
        count += name == "file" ? 1 : 0;
    }
    return 0;
}

std::vector<std::uint8_t> DecodeImage(std::string_view dataText, const ImageType& type) {
    auto stream = DecodeBase64(dataText);
    if (!stream) {
        throw PackageDataError(std::string(kBase64Failed));
    }
    if (stream->size() > type.regionSize) {
        throw PackageDataError(std::string(kImageTooLarge));
    }
    DecompressedImage image;
    try {
        image = DecompressImage(*stream, std::size_t{type.regionSize} + kDecompressSlack);
    } catch (const std::bad_alloc&) {
        throw PackageDataError(std::string(kNoImageBuffer));
    }
    if (image.status != 0) {
        throw PackageDataError(std::string(kDecompressFailed) + std::to_string(image.status) + ")");
    }
    return std::move(image.bytes);
}

LoadResult LoadUserBuiltItem(PackageItem& item, UserMessages& messages) {
    item.releaseData();
    std::error_code error;
    if (item.fileName.empty() || !std::filesystem::exists(item.fileName, error)) {
        return LoadResult::NoFile;
    }
    auto bytes = ReadWholeFileBytes(item.fileName, messages);
    if (!bytes) {
        return LoadResult::FileReadFailed;
    }
    item.setData(std::move(*bytes));
    return LoadResult::Loaded;
}

// The item's image from the package's parsed document, wherever its cursor stands.
LoadResult LoadItemFromDocument(TypedXmlDocument& document, PackageItem& item) {
    item.releaseData();
    document.ResetCursor();
    if (!EnterItemElement(document, item)) {
        return LoadResult::NoFileElement;
    }
    std::string decoded;
    const std::string_view dataText = FindFileChild(document, "data") ? document.ChildTextView(decoded) : "";
    const ImageType* type = FindImageType(item.typeGuid);
    if (type == nullptr) {
        return LoadResult::UnknownImageType;
    }
    item.setData(DecodeImage(dataText, *type));
    return LoadResult::Loaded;
}

// The package file read and parsed; nullopt when it cannot be read (the
// user has been told why where that is due) or has no root element.
std::optional<TypedXmlDocument> ReadPackageDocument(const Package& package, UserMessages& messages) {
    auto text = ReadWholeFile(package.path(), messages);
    return text ? ParsePackageText(std::move(*text)) : std::nullopt;
}

LoadResult LoadPackageFileItem(const Package& package, PackageItem& item, UserMessages& messages) {
    item.releaseData();
    auto document = ReadPackageDocument(package, messages);
    return document ? LoadItemFromDocument(*document, item) : LoadResult::PackageUnreadable;
}

// Stops at the first item that fails, whose position `at` then holds, and
// returns its result. A package file is read and parsed once for all of its
// items; when that fails, the first item stands for them.
std::optional<LoadResult> LoadEveryItem(Package& package, UserMessages& messages, std::size_t& at) {
    const auto loads = [&](auto load) -> std::optional<LoadResult> {
        for (at = 0; at < package.itemCount(); ++at) {
            if (const LoadResult result = load(package.items()[at]); result != LoadResult::Loaded) {
                return result;
            }
        }
        return std::nullopt;
    };
    at = 0;
    if (package.isUserBuilt() || package.itemCount() == 0) {
        return loads([&](PackageItem& item) { return LoadItemData(package, &item, messages); });
    }
    auto document = ReadPackageDocument(package, messages);
    if (!document) {
        return LoadResult::PackageUnreadable;
    }
    return loads([&](PackageItem& item) { return LoadItemFromDocument(*document, item); });
}

// Replaces the package's name and items with those of the document.
void FillPackage(Package& package, TypedXmlDocument& document) {
    package.ClearItems();
    std::size_t position = FileElementsBeforeName(document);
    document.RewindChildren();
    // The root's time is not used; the name is found wherever it stands, and
    // items are the file elements after it.
    if (document.FindChild("packagename")) {
        package.setName(document.ChildText());
    }
    for (; document.FindChild("file"); ++position) {
        document.EnterElement();
        if (auto item = ReadFileElement(document)) {
            item->fileElement = position;
            package.AppendItem(std::move(*item));
        }
        document.LeaveElement();
    }
}

}  // namespace

bool ReadPackageText(Package& package, std::string_view text) {
    auto document = ParsePackageText(std::string(text));
    if (!document) {
        return false;
    }
    FillPackage(package, *document);
    return true;
}

LoadResult LoadItemDataFromText(std::string_view text, PackageItem& item) {
    item.releaseData();
    auto document = ParsePackageText(std::string(text));
    return document ? LoadItemFromDocument(*document, item) : LoadResult::PackageUnreadable;
}

bool ReadPackage(Package& package, UserMessages& messages) {
    auto document = ReadPackageDocument(package, messages);
    if (!document) {
        return false;
    }
    FillPackage(package, *document);
    return true;
}

std::optional<Package> OpenPackage(std::string name, std::string path, UserMessages& messages) {
    Package package(std::move(name), std::move(path));
    if (!package.isUserBuilt() && !ReadPackage(package, messages)) {
        return std::nullopt;
    }
    return package;
}

std::string UnreadablePackageText(const std::filesystem::path& path) {
    const std::error_code error = FileReadError(path);
    return std::string(kUnreadablePackage) + path.string() + ": " +
           (error ? error.message() : std::string(kNotAPackageFile));
}

std::string NamelessPackageText(const std::filesystem::path& path) {
    return std::string(kUnreadablePackage) + path.string() + ": " + std::string(kNoPackageName);
}

LoadResult LoadItemData(const Package& package, PackageItem* item, UserMessages& messages) {
    if (package.isUserBuilt()) {
        return item == nullptr ? LoadResult::NoItem : LoadUserBuiltItem(*item, messages);
    }
    return item == nullptr ? LoadResult::NoPackageItem : LoadPackageFileItem(package, *item, messages);
}

std::optional<ItemLoadFailure> LoadEveryItemData(Package& package, UserMessages& messages) {
    std::size_t at = 0;
    std::optional<ItemLoadFailure> failure;
    try {
        if (const std::optional<LoadResult> result = LoadEveryItem(package, messages, at)) {
            failure = ItemLoadFailure{at, *result, {}};
        }
    } catch (const PackageDataError& error) {
        failure = ItemLoadFailure{at, LoadResult::Loaded, error.what()};
    } catch (...) {
        package.ReleaseAllData();
        throw;
    }
    if (failure) {
        package.ReleaseAllData();
    }
    return failure;
}

}  // namespace tarnwick
