// SPDX-License-Identifier: GPL-2.0-or-later
// "Add item": the image types of the catalogue, one to choose.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>

#include <optional>

#include "catalogues.h"

class QPushButton;
class QTableView;

namespace tarnwick {

// The image-type catalogue in its order: "Name", "Dst.Addr" and "Dst.Size",
// the two numbers as "0x%08x".
class AvailableItemsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, AddressColumn, SizeColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // The image type of row; nullptr for a row that does not exist.
    static const ImageType* typeAt(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
};

class AvailableItemsDialog : public QDialog {
    Q_OBJECT
public:
    // Object names of the list and the "Add" button: their control ids.
    static constexpr int kListId = 1019;
    static constexpr int kAddId = 1;

    explicit AvailableItemsDialog(QWidget* parent = nullptr);

    // The row chosen, -1 while none is.
    int chosenRow() const noexcept { return chosenRow_; }
    // The guid of the last image type chosen, nullopt before any.
    std::optional<Guid> chosenGuid() const noexcept { return chosenGuid_; }

private:
    void choose(int row);
    void addOnDoubleClick();

    AvailableItemsModel model_;
    QTableView* list_;
    QPushButton* add_;
    int chosenRow_ = -1;
    std::optional<Guid> chosenGuid_;
};

}  // namespace tarnwick
