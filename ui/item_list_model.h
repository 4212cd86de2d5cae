// SPDX-License-Identifier: GPL-2.0-or-later
// The item list: a table over the items of the selected package.
//
// Columns "Name", "Version" ("%u.%02u") and "File"; the package's last item
// is row 0. The model holds no copy: it reads the package, which the window
// owns, and must be told (refresh) whenever that package's items change or it
// is replaced. User interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include "package_model.h"

class QAbstractItemView;

namespace tarnwick {

class ItemListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, VersionColumn, FileColumn, ColumnCount };

    explicit ItemListModel(QObject* parent = nullptr);

    // Shows the items of package (nullptr: none); rows are rebuilt.
    void setPackage(const Package* package);
    const Package* package() const noexcept { return package_; }

    // The "Name" cell of row, by which the window finds the item again;
    // empty for a row that does not exist.
    QString typeNameAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const PackageItem* itemAt(int row) const;

    const Package* package_ = nullptr;
};

// Selects and focuses row previousRow of the view if it exists and scrolls it
// into view (the selection change reaches the window through the view's
// selection model); otherwise clears the selection. Returns the row that is
// now selected, or -1.
int ReselectRow(QAbstractItemView& view, int previousRow);

}  // namespace tarnwick
