// SPDX-License-Identifier: GPL-2.0-or-later
// The modal "About Tarnwick" box: the program icon and the version record's
// name, version, legal notice, maker and license. OK and Escape close it.
#pragma once

#include <QDialog>

#include <memory>

#include "control_table.h"
#include "version_record.h"

namespace tarnwick {

inline constexpr char kAboutCaption[] = "About Tarnwick";

class AboutBox final : public QDialog {
    Q_OBJECT

public:
    AboutBox(QWidget* owner, const VersionRecord& record);
    ~AboutBox() override;

private:
    std::unique_ptr<ControlSet> controls_;
};

}  // namespace tarnwick
