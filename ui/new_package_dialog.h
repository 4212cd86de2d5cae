// SPDX-License-Identifier: GPL-2.0-or-later
// "New package": asks for the name of a package the user builds.
#pragma once

#include <QDialog>

class QLineEdit;

namespace tarnwick {

class NewPackageDialog : public QDialog {
    Q_OBJECT
public:
    // The name edit's object name: its control id.
    static constexpr int kNameEditId = 1008;

    explicit NewPackageDialog(QWidget* parent = nullptr);

    // The text of the name edit; "OK" accepts even when it is empty.
    QString packageName() const;

private:
    QLineEdit* name_;
};

}  // namespace tarnwick
