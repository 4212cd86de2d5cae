// SPDX-License-Identifier: GPL-2.0-or-later
#include "package_store.h"

#include <algorithm>
#include <optional>

#include "ascii_case.h"
#include "catalogues.h"
#include "file_io.h"
#include "firmware_import.h"
#include "guid.h"
#include "package_file.h"
#include "xml_document.h"

namespace tarnwick {
namespace {

// Element and attribute names of the package list file.
constexpr std::string_view kConfigElement = "config";
constexpr std::string_view kPackageElement = "package";
constexpr std::string_view kUpdPackageAttribute = "updpackage";
constexpr std::string_view kNameElement = "name";
constexpr std::string_view kFilesElement = "files";
constexpr std::string_view kPathElement = "path";
constexpr std::string_view kFileElement = "file";
constexpr std::string_view kIdElement = "id";
// Written only for a version the user typed, which the firmware file would
// not give again; every other item's version is derived from its file anew.
constexpr std::string_view kVersionElement = "version";

void AppendUserBuiltItems(TypedXmlDocument& document, const Package& package) {
    document.AppendChildNumber(kFilesElement, static_cast<std::uint32_t>(package.itemCount()));
    for (const PackageItem& item : package.items()) {
        document.AppendChild(kFileElement);
        document.EnterElement();
        document.AppendChild(kIdElement, FormatGuid(item.typeGuid));
        document.AppendChild(kNameElement, item.typeName);
        document.AppendChild(kPathElement, item.fileName);
        if (item.version != DeriveFirmwareInfo(item.fileName).version) {
            document.AppendChildNumber(kVersionElement, item.version);
        }
        document.LeaveElement();
    }
}

void AppendPackage(TypedXmlDocument& document, const Package& package) {
    document.AppendChild(kPackageElement);
    document.SetChildNumber(kUpdPackageAttribute, package.isUserBuilt() ? 0 : 1);
    document.EnterElement();
    document.AppendChild(kNameElement, package.name());
    if (package.isUserBuilt()) {
        AppendUserBuiltItems(document, package);
    } else {
        document.AppendChildNumber(kFilesElement, 0);
        document.AppendChild(kPathElement, package.path());
    }
    document.LeaveElement();
}

// The text of a child element of the current element, looked up from its
// first child so that the order of the children does not matter.
std::optional<std::string> ChildTextOf(TypedXmlDocument& document, std::string_view name) {
    document.RewindChildren();
    if (!document.FindChild(name)) {
        return std::nullopt;
    }
    return document.ChildText();
}

std::uint32_t ChildNumberOf(TypedXmlDocument& document, std::string_view name) {
    document.RewindChildren();
    std::uint32_t number = 0;
    if (document.FindChild(name)) {
        document.ChildNumber(number);
    }
    return number;
}

// The current element is a file entry of a user-built package; false when
// it is dropped.
bool LoadItem(TypedXmlDocument& document, Package& package) {
    const std::string path = ChildTextOf(document, kPathElement).value_or("");
    const auto id = ChildTextOf(document, kIdElement);
    if (!id) {
        return false;
    }
    const ImageType* type = FindImageType(ParseGuidOrZero(*id));
    if (type == nullptr) {
        return false;
    }
    PackageItem item(*type);
    item.fileName = path;
    ImportFirmwareInfo(item);
    document.RewindChildren();
    if (document.FindChild(kVersionElement)) {
        document.ChildNumber(item.version);
    }
    return package.AddItem(item);
}

// False when a file entry was dropped; none is taken unless `take`.
bool LoadItems(TypedXmlDocument& document, Package& package, bool take) {
    bool whole = true;
    document.RewindChildren();
    while (document.FindChild(kFileElement)) {
        document.EnterElement();
        whole = take && LoadItem(document, package) && whole;
        document.LeaveElement();
    }
    return whole;
}

// The current element is a package entry; nullopt when it is dropped. A
// package whose file cannot be read now is kept by its name and path. whole
// turns false when one of the package's file entries is dropped.
std::optional<Package> LoadPackage(TypedXmlDocument& document, UserMessages& messages, bool& whole) {
    std::string name = ChildTextOf(document, kNameElement).value_or("");
    std::string path = ChildTextOf(document, kPathElement).value_or("");
    const std::uint32_t files = ChildNumberOf(document, kFilesElement);
    if (name.empty()) {
        return std::nullopt;
    }
    if (path.empty()) {
        Package package(std::move(name), "");
        whole = LoadItems(document, package, files != 0) && whole;
        return package;
    }
    std::optional<Package> package = OpenPackage(name, path, messages);
    if (!package) {
        package.emplace(std::move(name), std::move(path));
        package->setFileUnreadable();
    }
    return package;
}

PackageListLoad LoadPackages(PackageStore& store, std::string_view text, UserMessages& messages) {
    TypedXmlDocument document;
    if (!document.LoadText(text)) {
        return PackageListLoad::NotAPackageList;
    }
    bool whole = true;
    while (document.FindChild(kPackageElement)) {
        bool updPackage = false;
        if (!document.ChildAttributeFlag(kUpdPackageAttribute, updPackage)) {
            whole = false;
            continue;
        }
        document.EnterElement();
        if (auto package = LoadPackage(document, messages, whole)) {
            store.Add(std::move(*package));
        } else {
            whole = false;
        }
        document.LeaveElement();
    }
    return whole ? PackageListLoad::Loaded : PackageListLoad::Partial;
}

std::string Substitute(std::string_view pattern, std::string_view value) {
    std::string text(pattern);
    text.replace(text.find("%s"), 2, value);
    return text;
}

void ShowSaveFailed(const std::string& file, UserMessages& messages) {
    messages.showMessage(Substitute(kSaveListFailedText, file), kSaveListCaption, MessageIcon::Error);
}

// A list the store does not own holds what the store may lack: it is moved
// aside, and the user told where, before the store's list takes its place.
// False when it stays where it is (the user has been told).
bool KeepForeignList(const std::string& file, UserMessages& messages) {
    const MovedAside aside = MoveAside(file, kUnreadListMark);
    if (aside.error == std::errc::no_such_file_or_directory) {
        return true;
    }
    if (aside.error) {
        ShowSaveFailed(file, messages);
        return false;
    }
    messages.showMessage(Substitute(kUnreadListKeptText, aside.path.string()), kSaveListCaption,
                         MessageIcon::Exclamation);
    return true;
}

}  // namespace

Package& PackageStore::Add(Package package) {
    packages_.push_back(std::make_unique<Package>(std::move(package)));
    return *packages_.back();
}

bool PackageStore::Remove(const Package& package) {
    const auto found = std::find_if(packages_.begin(), packages_.end(),
                                    [&](const std::unique_ptr<Package>& p) { return p.get() == &package; });
    if (found == packages_.end()) {
        return false;
    }
    packages_.erase(found);
    return true;
}

Package* PackageStore::FindByName(std::string_view name) noexcept {
    const auto found = std::find_if(packages_.begin(), packages_.end(), [&](const std::unique_ptr<Package>& p) {
        return EqualIgnoringCase(p->name(), name);
    });
    return found == packages_.end() ? nullptr : found->get();
}

std::string PackageListPath(std::string_view configPath) {
    return std::string(configPath) + "/" + std::string(kPackageListFileName);
}

std::string BuildPackageListText(const PackageStore& store) {
    TypedXmlDocument document;
    document.AppendElement(kConfigElement);
    for (std::size_t i = 0; i < store.size(); ++i) {
        // A package file stays listed even while it cannot be read.
        if (store[i].itemCount() != 0 || !store[i].isUserBuilt()) {
            AppendPackage(document, store[i]);
        }
    }
    return document.Text();
}

void SavePackageList(PackageStore& store, std::string_view configPath, UserMessages& messages) {
    if (configPath.empty() || !IsExistingFolder(std::string(configPath))) {
        return;
    }
    const std::string file = PackageListPath(configPath);
    if (file != store.ownListFile() && !KeepForeignList(file, messages)) {
        return;
    }
    // Write failures are reported too: a full disk must not lose the list
    // while looking like success.
    if (ReplaceFile(file, BuildPackageListText(store))) {
        ShowSaveFailed(file, messages);
        return;
    }
    store.setOwnListFile(file);
}

PackageListLoad LoadPackageList(PackageStore& store, std::string_view configPath, UserMessages& messages,
                                MissingList missing) {
    store.Clear();
    store.setOwnListFile({});
    if (configPath.empty()) {
        return PackageListLoad::Loaded;
    }
    return LoadPackageListFile(store, PackageListPath(configPath), messages, missing);
}

PackageListLoad LoadPackageListFile(PackageStore& store, const std::string& file, UserMessages& messages,
                                    MissingList missing) {
    store.Clear();
    store.setOwnListFile({});
    const auto contents = ReadTextFile(file);
    const bool isMissing = contents.error == std::errc::no_such_file_or_directory;
    if (!contents.ok() && !(isMissing && missing == MissingList::Quiet)) {
        messages.showMessage(kReadListFailedText, "", MessageIcon::Exclamation);
    }
    if (isMissing) {
        store.setOwnListFile(file);
        return PackageListLoad::Missing;
    }
    if (!contents.ok()) {
        return PackageListLoad::Unreadable;
    }
    const PackageListLoad loaded = LoadPackages(store, contents.bytes, messages);
    if (loaded == PackageListLoad::Loaded) {
        store.setOwnListFile(file);
    }
    return loaded;
}

}  // namespace tarnwick
