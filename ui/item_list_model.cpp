// SPDX-License-Identifier: GPL-2.0-or-later
#include "item_list_model.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>

namespace tarnwick {
namespace {

constexpr const char* kColumnTitles[ItemListModel::ColumnCount] = {"Name", "Version", "File"};

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

ItemListModel::ItemListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ItemListModel::setPackage(const Package* package) {
    beginResetModel();
    package_ = package;
    endResetModel();
}

QString ItemListModel::typeNameAt(int row) const {
    const PackageItem* item = itemAt(row);
    return item ? Text(item->typeName) : QString();
}

int ItemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !package_ ? 0 : static_cast<int>(package_->itemCount());
}

int ItemListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
    const PackageItem* item = index.isValid() ? itemAt(index.row()) : nullptr;
    if (!item || role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case NameColumn:
        return Text(item->typeName);
    case VersionColumn:
        return Text(FormatVersion(item->version));
    case FileColumn:
        return Text(item->fileName);
    default:
        return {};
    }
}

QVariant ItemListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount) {
        return {};
    }
    return QString::fromLatin1(kColumnTitles[section]);
}

const PackageItem* ItemListModel::itemAt(int row) const {
    if (row < 0 || row >= rowCount()) {
        return nullptr;
    }
    // Each item was inserted at the top, so the last item leads the list.
    return &package_->items()[package_->itemCount() - 1 - static_cast<std::size_t>(row)];
}

int ReselectRow(QAbstractItemView& view, int previousRow) {
    QItemSelectionModel* selection = view.selectionModel();
    const QModelIndex index = view.model()->index(previousRow, 0);
    if (!index.isValid()) {
        selection->clear();
        return -1;
    }
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view.scrollTo(index);
    return previousRow;
}

}  // namespace tarnwick
