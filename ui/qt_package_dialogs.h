// SPDX-License-Identifier: GPL-2.0-or-later
// The package commands' dialogs as the window shows them: the two item
// dialogs and Qt's open-file dialog.
#pragma once

#include <QString>
#include <QStringList>

#include "package_commands.h"

class QWidget;

namespace tarnwick {

// The filter list of a file dialog in Qt's form, each entry shown by its
// name alone: "All (*)", "Package file (*.xml) (*.xml)", ...
QStringList NameFilters(const FileDialogRequest& dialog);

class QtPackageDialogs : public PackageDialogs {
public:
    // The dialogs are modal over parent, which must outlive this object.
    explicit QtPackageDialogs(QWidget* parent) : parent_(parent) {}

    std::optional<std::string> askNewPackageName() override;
    // Opens at the initial file, else in the folder of the file chosen last.
    std::optional<std::string> chooseFile(const FileDialogRequest& dialog, const std::string& initialFile) override;
    std::optional<std::string> chooseNewFile(const FileDialogRequest& dialog) override;
    std::optional<Guid> chooseAvailableItem() override;

private:
    QWidget* parent_;
    QString lastFolder_;
};

}  // namespace tarnwick
