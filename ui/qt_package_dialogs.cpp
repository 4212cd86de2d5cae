// SPDX-License-Identifier: GPL-2.0-or-later
#include "qt_package_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QString>

#include "available_items_dialog.h"
#include "new_package_dialog.h"

namespace tarnwick {
namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Shows the dialog with the request's filters, the last one chosen; it starts
// at the given file, else in the folder of the last file chosen.
std::optional<std::string> ChosenFile(QFileDialog& dialog, const FileDialogRequest& request, QString& lastFolder,
                                      const std::string& initialFile = {}) {
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = NameFilters(request);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.back());
    if (!initialFile.empty()) {
        dialog.selectFile(QString::fromStdString(initialFile));
    } else if (!lastFolder.isEmpty()) {
        dialog.setDirectory(lastFolder);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = dialog.selectedFiles().front();
    lastFolder = QFileInfo(chosen).absolutePath();
    return chosen.toStdString();
}

}  // namespace

QStringList NameFilters(const FileDialogRequest& dialog) {
    QStringList filters;
    for (const FileFilter& filter : dialog.filters) {
        // Qt takes the patterns from the last parentheses and, with its details
        // hidden, shows the rest: the name as the system words it.
        filters << Text(filter.name) + QStringLiteral(" (") + Text(filter.patterns) + QStringLiteral(")");
    }
    return filters;
}

std::optional<std::string> QtPackageDialogs::askNewPackageName() {
    NewPackageDialog dialog(parent_);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.packageName().toStdString();
}

std::optional<std::string> QtPackageDialogs::chooseFile(const FileDialogRequest& request, const std::string& initialFile) {
    QFileDialog dialog(parent_, Text(request.caption));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    return ChosenFile(dialog, request, lastFolder_, initialFile);
}

// Qt's save dialog asks before it lets an existing file be chosen.
std::optional<std::string> QtPackageDialogs::chooseNewFile(const FileDialogRequest& request) {
    QFileDialog dialog(parent_, Text(request.caption));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    return ChosenFile(dialog, request, lastFolder_);
}

std::optional<Guid> QtPackageDialogs::chooseAvailableItem() {
    AvailableItemsDialog dialog(parent_);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenRow() == -1) {
        return std::nullopt;
    }
    return dialog.chosenGuid();
}

}  // namespace tarnwick
