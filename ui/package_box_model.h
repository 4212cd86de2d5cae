// SPDX-License-Identifier: GPL-2.0-or-later
// The package box's entries as a list model for the window's combo box: the
// names of PackageCommands::boxEntries(), in their sorted order.
//
// The model reads the commands' entries and copies nothing; the window calls
// refresh() after every command that reports PackageChange::PackageBox and
// then selects PackageCommands::selectedEntry(). User interface thread only.
#pragma once

#include <QAbstractListModel>

#include "package_commands.h"

namespace tarnwick {

class PackageBoxModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit PackageBoxModel(const PackageCommands& commands, QObject* parent = nullptr);

    void refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    const PackageCommands& commands_;
};

}  // namespace tarnwick
