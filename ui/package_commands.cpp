// SPDX-License-Identifier: GPL-2.0-or-later
#include "package_commands.h"

#include <algorithm>

#include "ascii_case.h"
#include "catalogues.h"
#include "firmware_import.h"
#include "orchestration_plan.h"
#include "package_file.h"

namespace tarnwick {
namespace {

std::string Fill(std::string_view format, std::string_view value) {
    std::string text(format);
    const std::size_t at = text.find("%s");
    return at == std::string::npos ? text : text.replace(at, 2, value);
}

}  // namespace

PackageCommands::PackageCommands(PackageStore& store, PackageDialogs& dialogs, UserMessages& messages,
                                 std::string lastPackage)
    : store_(store), dialogs_(dialogs), messages_(messages), lastPackage_(std::move(lastPackage)) {}

Package* PackageCommands::selectedPackage() const {
    return selected_ >= 0 && selected_ < static_cast<int>(entries_.size()) ? entries_[selected_] : nullptr;
}

void PackageCommands::selectEntry(int index) {
    selected_ = index >= 0 && index < static_cast<int>(entries_.size()) ? index : -1;
}

int PackageCommands::insertEntry(Package& package) {
    // After any equal names, as a sorted list box inserts.
    const auto at = std::upper_bound(entries_.begin(), entries_.end(), &package, [](const Package* a, const Package* b) {
        return LessIgnoringCase(a->name(), b->name());
    });
    const auto inserted = entries_.insert(at, &package);
    return static_cast<int>(inserted - entries_.begin());
}

void PackageCommands::refillPackageBox() {
    entries_.clear();
    int lastInserted = -1;
    for (std::size_t index = 0; index < store_.size(); ++index) {
        lastInserted = insertEntry(store_[index]);
    }
    selected_ = lastInserted;
    if (lastPackage_.empty()) {
        return;
    }
    const auto named = std::find_if(entries_.begin(), entries_.end(), [this](const Package* package) {
        return StartsWithIgnoringCase(package->name(), lastPackage_);
    });
    if (named != entries_.end()) {
        selected_ = static_cast<int>(named - entries_.begin());
    }
}

bool PackageCommands::canAddPackages() const noexcept {
    return store_.size() < kMaxPackages;
}

PackageChange PackageCommands::addPackage(std::optional<Package> package) {
    if (!package) {
        return PackageChange::None;
    }
    selected_ = insertEntry(store_.Add(std::move(*package)));
    return PackageChange::PackageBox;
}

PackageChange PackageCommands::newPackage() {
    if (!canAddPackages()) {
        return PackageChange::None;
    }
    const std::optional<std::string> name = dialogs_.askNewPackageName();
    if (!name || name->empty()) {
        return PackageChange::None;
    }
    if (store_.FindByName(*name)) {
        messages_.showMessage(kPackageExistsText, kProgramCaption, MessageIcon::Exclamation);
        return PackageChange::None;
    }
    return addPackage(OpenPackage(*name, {}, messages_));
}

Package* PackageCommands::packageOfFile(std::string_view path) const {
    for (std::size_t index = 0; index < store_.size(); ++index) {
        const std::string& known = store_[index].path();
        if (!known.empty() && EqualIgnoringCase(known, path)) {
            return &store_[index];
        }
    }
    return nullptr;
}

PackageChange PackageCommands::loadPackage() {
    if (!canAddPackages()) {
        return PackageChange::None;
    }
    const std::optional<std::string> path = dialogs_.chooseFile(kLoadPackageDialog, {});
    if (!path) {
        return PackageChange::None;
    }
    if (packageOfFile(*path) != nullptr) {
        messages_.showMessage(kPackageExistsText, kProgramCaption, MessageIcon::Exclamation);
        return PackageChange::None;
    }
    std::optional<Package> package = OpenPackage({}, *path, messages_);
    if (!package) {
        messages_.showMessage(UnreadablePackageText(*path), kProgramCaption, MessageIcon::Exclamation);
        return PackageChange::None;
    }
    // A nameless package could be neither told apart in the box nor asked about.
    if (package->name().empty()) {
        messages_.showMessage(NamelessPackageText(*path), kProgramCaption, MessageIcon::Exclamation);
        return PackageChange::None;
    }
    return addPackage(std::move(package));
}

PackageChange PackageCommands::deletePackage() {
    const Package* package = selectedPackage();
    if (!package) {
        return PackageChange::None;
    }
    const MessageAnswer answer = messages_.ask(Fill(kDeletePackageText, package->name()), kProgramCaption,
                                               MessageIcon::Question, MessageButtons::OkCancel);
    if (answer != MessageAnswer::Ok) {
        return PackageChange::None;
    }
    store_.Remove(*package);
    refillPackageBox();
    return PackageChange::PackageBox;
}

Package* PackageCommands::editablePackage() const {
    Package* package = selectedPackage();
    return package && package->isUserBuilt() ? package : nullptr;
}

PackageChange PackageCommands::addItem() {
    const std::optional<Guid> chosen = dialogs_.chooseAvailableItem();
    const ImageType* type = chosen ? FindImageType(*chosen) : nullptr;
    Package* package = editablePackage();
    if (!type || !package || !package->AddItem(PackageItem(*type))) {
        return PackageChange::None;
    }
    return PackageChange::Items;
}

PackageChange PackageCommands::deleteItem(const PackageItem* item) {
    Package* package = editablePackage();
    if (!item || !package || !package->RemoveItem(*item)) {
        return PackageChange::None;
    }
    return PackageChange::Items;
}

PackageChange PackageCommands::detachFile(PackageItem* item) {
    if (!item || !editablePackage()) {
        return PackageChange::None;
    }
    item->fileName.clear();
    ImportFirmwareInfo(*item);
    return PackageChange::Items;
}

std::optional<std::string> PackageCommands::attachFirmwareFile(PackageItem* item, const std::string& currentFile) {
    std::optional<std::string> path = dialogs_.chooseFile(kLoadFirmwareDialog, currentFile);
    if (path && item && editablePackage()) {
        item->fileName = *path;
        ImportFirmwareInfo(*item);
    }
    return path;
}

std::optional<std::string> PackageCommands::chooseBackupFile() {
    return dialogs_.chooseNewFile(kBackupFileDialog);
}

PackageChange PackageCommands::showWrittenPackage(const std::string& path) {
    if (const Package* listed = packageOfFile(path)) {
        store_.Remove(*listed);
        refillPackageBox();
    }
    if (!canAddPackages()) {
        return PackageChange::PackageBox;
    }
    addPackage(OpenPackage({}, path, messages_));
    return PackageChange::PackageBox;
}

}  // namespace tarnwick
