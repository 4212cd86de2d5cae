// SPDX-License-Identifier: GPL-2.0-or-later
// The package commands of the window: the package box with its selection,
// new, load and delete package, add and delete item, attach and detach a
// firmware file.
//
// The commands change the packages of the store and tell the window what to
// show again; the window owns the widgets. Questions and file choices go
// through PackageDialogs and UserMessages, so no box needs to be on screen.
// User interface thread only.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "enable_rules.h"
#include "guid.h"
#include "package_model.h"
#include "package_store.h"
#include "user_messages.h"

namespace tarnwick {

inline constexpr std::string_view kPackageExistsText = "A package with this name\nalready exist...";
inline constexpr std::string_view kDeletePackageText = "Delete package\n%s";

// One entry of a file dialog's filter list; patterns are separated by spaces.
struct FileFilter {
    std::string_view name;
    std::string_view patterns;
};

// An open-file dialog for an existing file. The second filter is preselected.
struct FileDialogRequest {
    std::string_view caption;
    std::array<FileFilter, 2> filters;
};

inline constexpr FileDialogRequest kLoadPackageDialog{"Load package file...",
                                                   {{{"All", "*"}, {"Package file (*.xml)", "*.xml"}}}};
inline constexpr FileDialogRequest kLoadFirmwareDialog{
    "Load firmware file...", {{{"All", "*"}, {"ARM/FPGA Firmware (*.bin;*.rbf)", "*.bin *.rbf"}}}};
inline constexpr FileDialogRequest kBackupFileDialog{"Back up camera to...",
                                                     {{{"All", "*"}, {"Package file (*.xml)", "*.xml"}}}};

// The modal dialogs of the commands; the window shows real ones, tests answer.
class PackageDialogs {
public:
    virtual ~PackageDialogs() = default;
    // The text of the name edit after "OK" (possibly empty), nullopt after "Cancel".
    virtual std::optional<std::string> askNewPackageName() = 0;
    // The existing file chosen, nullopt when cancelled. initialFile may be empty.
    virtual std::optional<std::string> chooseFile(const FileDialogRequest& dialog, const std::string& initialFile) = 0;
    // A file to write, nullopt when cancelled; the user has agreed to
    // replace it when it exists.
    virtual std::optional<std::string> chooseNewFile(const FileDialogRequest& dialog) = 0;
    // The guid of the image type chosen with "Add", nullopt otherwise.
    virtual std::optional<Guid> chooseAvailableItem() = 0;
};

// What the window must show again after a command.
enum class PackageChange {
    None,
    // The selected package's items: fill the item list and show the item.
    Items,
    // The package box and its selection, then the items as above.
    PackageBox,
};

class PackageCommands {
public:
    // lastPackage names the package to select after a refill (a prefix,
    // compared without regard to case); empty selects where the store's last
    // package landed.
    PackageCommands(PackageStore& store, PackageDialogs& dialogs, UserMessages& messages, std::string lastPackage);

    // The package box: every package of the store, sorted by name without
    // regard to case, and the selected entry (-1: none).
    const std::vector<Package*>& boxEntries() const noexcept { return entries_; }
    int selectedEntry() const noexcept { return selected_; }
    Package* selectedPackage() const;
    void selectEntry(int index);
    // Rebuilds the box from the store and selects by the last package rule.
    void refillPackageBox();

    // Fewer than kMaxPackages are listed.
    bool canAddPackages() const noexcept;

    PackageChange newPackage();
    // A file that cannot be read, or gives no package name, is refused with why.
    PackageChange loadPackage();
    // Asks first; the package file of a loaded package stays on disk.
    PackageChange deletePackage();
    // Adds an item of the chosen image type to the selected user package,
    // unless the package has one of that type already.
    PackageChange addItem();
    // item must be one of the selected package's (the window's selected item).
    PackageChange deleteItem(const PackageItem* item);
    PackageChange detachFile(PackageItem* item);
    // Asks for a firmware file, starting at currentFile. With an item, the
    // item takes the file and the camera type and version derived from it.
    // Returns the chosen path for the "File" property, nullopt when cancelled.
    std::optional<std::string> attachFirmwareFile(PackageItem* item, const std::string& currentFile);

    // The file a camera backup is to be written to; nullopt when cancelled.
    std::optional<std::string> chooseBackupFile();
    // A package file just written, read as Load reads it and selected; a
    // listed package of the same file gives way to it.
    PackageChange showWrittenPackage(const std::string& path);

private:
    int insertEntry(Package& package);
    Package* packageOfFile(std::string_view path) const;
    PackageChange addPackage(std::optional<Package> package);
    Package* editablePackage() const;

    PackageStore& store_;
    PackageDialogs& dialogs_;
    UserMessages& messages_;
    std::string lastPackage_;
    std::vector<Package*> entries_;
    int selected_ = -1;
};

}  // namespace tarnwick
