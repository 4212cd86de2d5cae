// SPDX-License-Identifier: GPL-2.0-or-later
// The rows of the property list: categories and the properties under them.
//
// A two-level tree for Qt's views: the top level holds the categories (and
// any property added before the first one); a property added after a
// category belongs to the last category. Rows are only ever appended; they
// are addressed by the PropertyId that adding returned. Values are texts.
// User interface thread only.
#pragma once

#include <QAbstractItemModel>
#include <QString>

#include <functional>
#include <vector>

namespace tarnwick {

using PropertyId = int;
inline constexpr PropertyId kNoProperty = -1;

enum class PropertyKind {
    Category,
    ReadOnlyText,
    // Edited in a single-line edit over the value.
    EditableText,
    // A file path with a "..." button that asks the owner to browse.
    FileName,
};

// Tells whether a typed text is a value the property can take.
using PropertyValidator = std::function<bool(const QString&)>;

class PropertyModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { NameColumn, ValueColumn, ColumnCount };
    // data() of this role gives the row's PropertyKind as an int.
    static constexpr int KindRole = Qt::UserRole;

    explicit PropertyModel(QObject* parent = nullptr);

    PropertyId addCategory(const QString& name);
    PropertyId addItem(const QString& name, PropertyKind kind, const QString& value, bool enabled);

    PropertyKind kind(PropertyId id) const;
    QString value(PropertyId id) const;
    void setValue(PropertyId id, const QString& value);
    bool isEnabled(PropertyId id) const;
    void setEnabled(PropertyId id, bool enabled);
    void setValidator(PropertyId id, PropertyValidator validator);

    // True when the property is enabled and of a kind that has an in-place
    // control.
    bool isEditable(PropertyId id) const;
    // Stores text typed into the in-place control; false (value unchanged)
    // when the property is not editable or its validator refuses the text.
    bool takeText(PropertyId id, const QString& text);

    QModelIndex indexOf(PropertyId id, int column = NameColumn) const;
    // kNoProperty for an invalid index.
    PropertyId idAt(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        QString name;
        QString value;
        PropertyKind kind;
        bool enabled;
        PropertyValidator validator;
        PropertyId category = kNoProperty;
        std::vector<PropertyId> children;
    };

    bool exists(PropertyId id) const;
    void rowChanged(PropertyId id);

    std::vector<Row> rows_;
    std::vector<PropertyId> topLevel_;
};

}  // namespace tarnwick
