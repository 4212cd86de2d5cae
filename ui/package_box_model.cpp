// SPDX-License-Identifier: GPL-2.0-or-later
#include "package_box_model.h"

namespace tarnwick {

PackageBoxModel::PackageBoxModel(const PackageCommands& commands, QObject* parent)
    : QAbstractListModel(parent), commands_(commands) {}

void PackageBoxModel::refresh() {
    beginResetModel();
    endResetModel();
}

int PackageBoxModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(commands_.boxEntries().size());
}

QVariant PackageBoxModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole) {
        return {};
    }
    return QString::fromStdString(ListedName(*commands_.boxEntries()[static_cast<std::size_t>(index.row())]));
}

}  // namespace tarnwick
