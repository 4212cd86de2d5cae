// SPDX-License-Identifier: GPL-2.0-or-later
#include "property_model.h"

#include <QGuiApplication>
#include <QPalette>

#include <algorithm>

namespace tarnwick {
namespace {

int PositionOf(const std::vector<PropertyId>& ids, PropertyId id) {
    return static_cast<int>(std::find(ids.begin(), ids.end(), id) - ids.begin());
}

}  // namespace

PropertyModel::PropertyModel(QObject* parent) : QAbstractItemModel(parent) {}

PropertyId PropertyModel::addCategory(const QString& name) {
    const auto id = static_cast<PropertyId>(rows_.size());
    const int row = static_cast<int>(topLevel_.size());
    beginInsertRows({}, row, row);
    rows_.push_back(Row{name, {}, PropertyKind::Category, true, {}, kNoProperty, {}});
    topLevel_.push_back(id);
    endInsertRows();
    return id;
}

PropertyId PropertyModel::addItem(const QString& name, PropertyKind kind, const QString& value, bool enabled) {
    const auto id = static_cast<PropertyId>(rows_.size());
    const bool underCategory = !topLevel_.empty() && rows_[topLevel_.back()].kind == PropertyKind::Category;
    const PropertyId category = underCategory ? topLevel_.back() : kNoProperty;
    const std::size_t row = underCategory ? rows_[category].children.size() : topLevel_.size();
    beginInsertRows(underCategory ? indexOf(category) : QModelIndex(), static_cast<int>(row), static_cast<int>(row));
    rows_.push_back(Row{name, value, kind, enabled, {}, category, {}});
    (underCategory ? rows_[category].children : topLevel_).push_back(id);
    endInsertRows();
    return id;
}

bool PropertyModel::exists(PropertyId id) const {
    return id >= 0 && id < static_cast<PropertyId>(rows_.size());
}

PropertyKind PropertyModel::kind(PropertyId id) const {
    return exists(id) ? rows_[id].kind : PropertyKind::ReadOnlyText;
}

QString PropertyModel::value(PropertyId id) const {
    return exists(id) ? rows_[id].value : QString();
}

void PropertyModel::setValue(PropertyId id, const QString& value) {
    if (exists(id) && rows_[id].value != value) {
        rows_[id].value = value;
        const QModelIndex cell = indexOf(id, ValueColumn);
        emit dataChanged(cell, cell);
    }
}

bool PropertyModel::isEnabled(PropertyId id) const {
    return exists(id) && rows_[id].enabled;
}

void PropertyModel::setEnabled(PropertyId id, bool enabled) {
    if (exists(id) && rows_[id].enabled != enabled) {
        rows_[id].enabled = enabled;
        rowChanged(id);
    }
}

void PropertyModel::setValidator(PropertyId id, PropertyValidator validator) {
    if (exists(id)) {
        rows_[id].validator = std::move(validator);
    }
}

bool PropertyModel::isEditable(PropertyId id) const {
    const PropertyKind rowKind = kind(id);
    return isEnabled(id) && (rowKind == PropertyKind::EditableText || rowKind == PropertyKind::FileName);
}

bool PropertyModel::takeText(PropertyId id, const QString& text) {
    if (!isEditable(id) || (rows_[id].validator && !rows_[id].validator(text))) {
        return false;
    }
    setValue(id, text);
    return true;
}

void PropertyModel::rowChanged(PropertyId id) {
    emit dataChanged(indexOf(id, NameColumn), indexOf(id, ValueColumn));
}

QModelIndex PropertyModel::indexOf(PropertyId id, int column) const {
    if (!exists(id)) {
        return {};
    }
    const PropertyId category = rows_[id].category;
    const int row = PositionOf(category == kNoProperty ? topLevel_ : rows_[category].children, id);
    return createIndex(row, column, static_cast<quintptr>(id));
}

PropertyId PropertyModel::idAt(const QModelIndex& index) const {
    return index.isValid() && index.model() == this ? static_cast<PropertyId>(index.internalId()) : kNoProperty;
}

QModelIndex PropertyModel::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent)) {
        return {};
    }
    const std::vector<PropertyId>& siblings = parent.isValid() ? rows_[idAt(parent)].children : topLevel_;
    return createIndex(row, column, static_cast<quintptr>(siblings[static_cast<std::size_t>(row)]));
}

QModelIndex PropertyModel::parent(const QModelIndex& index) const {
    const PropertyId id = idAt(index);
    return id == kNoProperty ? QModelIndex() : indexOf(rows_[id].category);
}

int PropertyModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return static_cast<int>(topLevel_.size());
    }
    return parent.column() == NameColumn ? static_cast<int>(rows_[idAt(parent)].children.size()) : 0;
}

int PropertyModel::columnCount(const QModelIndex&) const {
    return ColumnCount;
}

QVariant PropertyModel::data(const QModelIndex& index, int role) const {
    const PropertyId id = idAt(index);
    if (id == kNoProperty) {
        return {};
    }
    const Row& row = rows_[id];
    const bool category = row.kind == PropertyKind::Category;
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == NameColumn ? row.name : (category ? QString() : row.value);
    case KindRole:
        return static_cast<int>(row.kind);
    case Qt::ForegroundRole:
        return row.enabled ? QVariant() : QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
    case Qt::BackgroundRole:
        return category ? QGuiApplication::palette().button() : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags PropertyModel::flags(const QModelIndex& index) const {
    // Disabled properties stay selectable; they only refuse their in-place control.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace tarnwick
