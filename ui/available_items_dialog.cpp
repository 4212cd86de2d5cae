// SPDX-License-Identifier: GPL-2.0-or-later
#include "available_items_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <cstdio>

namespace tarnwick {
namespace {

constexpr const char* kColumnTitles[AvailableItemsModel::ColumnCount] = {"Name", "Dst.Addr", "Dst.Size"};
constexpr int kColumnWidth = 100;

QString LowerHex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return QString::fromLatin1(text);
}

}  // namespace

const ImageType* AvailableItemsModel::typeAt(int row) {
    const std::span<const ImageType> types = ImageTypes();
    return row >= 0 && row < static_cast<int>(types.size()) ? &types[static_cast<std::size_t>(row)] : nullptr;
}

int AvailableItemsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(ImageTypes().size());
}

int AvailableItemsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant AvailableItemsModel::data(const QModelIndex& index, int role) const {
    const ImageType* type = index.isValid() ? typeAt(index.row()) : nullptr;
    if (!type || role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case NameColumn:
        return QString::fromLatin1(type->name.data(), static_cast<qsizetype>(type->name.size()));
    case AddressColumn:
        return LowerHex32(type->startAddress);
    case SizeColumn:
        return LowerHex32(type->regionSize);
    default:
        return {};
    }
}

QVariant AvailableItemsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount) {
        return {};
    }
    return QString::fromLatin1(kColumnTitles[section]);
}

AvailableItemsDialog::AvailableItemsDialog(QWidget* parent)
    : QDialog(parent), list_(new QTableView(this)), add_(new QPushButton(QStringLiteral("Add"), this)) {
    setWindowTitle(QStringLiteral("Add item"));
    list_->setObjectName(QString::number(kListId));
    list_->setModel(&model_);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->horizontalHeader()->setDefaultSectionSize(kColumnWidth);
    list_->resizeColumnToContents(AvailableItemsModel::NameColumn);
    list_->resizeColumnToContents(AvailableItemsModel::AddressColumn);
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->resizeRowsToContents();

    add_->setObjectName(QString::number(kAddId));
    add_->setDefault(true);
    add_->setEnabled(false);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(add_, QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList rows = list_->selectionModel()->selectedRows();
        choose(rows.isEmpty() ? -1 : rows.front().row());
    });
    connect(list_, &QAbstractItemView::doubleClicked, this, &AvailableItemsDialog::addOnDoubleClick);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Available file items"), this));
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(510, 300);
}

void AvailableItemsDialog::choose(int row) {
    chosenRow_ = row;
    if (const ImageType* type = AvailableItemsModel::typeAt(row)) {
        chosenGuid_ = type->guid;
    }
    add_->setEnabled(chosenRow_ != -1);
}

void AvailableItemsDialog::addOnDoubleClick() {
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    choose(rows.isEmpty() ? -1 : rows.front().row());
    if (AvailableItemsModel::typeAt(chosenRow_)) {
        accept();
    }
}

}  // namespace tarnwick
