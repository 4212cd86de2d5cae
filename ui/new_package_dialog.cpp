// SPDX-License-Identifier: GPL-2.0-or-later
#include "new_package_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

namespace tarnwick {

NewPackageDialog::NewPackageDialog(QWidget* parent) : QDialog(parent), name_(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("New package"));
    name_->setObjectName(QString::number(kNameEditId));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("Package name:"), name_);
    layout->addRow(buttons);
    setMinimumWidth(240);
}

QString NewPackageDialog::packageName() const {
    return name_->text();
}

}  // namespace tarnwick
