// SPDX-License-Identifier: GPL-2.0-or-later
#include "about_box.h"

#include <QLabel>
#include <QPushButton>

namespace tarnwick {
namespace {

constexpr ControlRow kControls[] = {
    {kNoId, ControlKind::Icon, "", {12, 17, 20, 20}},
    {IdAboutText, ControlKind::Label, "", {48, 6, 114, 50}},
    {IdOk, ControlKind::DefaultButton, "OK", {174, 20, 50, 14}},
};

// The label holds six lines, the license last: label and box are one line
// (8 units) taller than five lines need.
constexpr DialogTemplate kTemplate{kAboutCaption, 232, 62, kControls};

}  // namespace

AboutBox::AboutBox(QWidget* owner, const VersionRecord& record) : QDialog(owner) {
    controls_ = layOutDialog(*this, kTemplate);
    controls_->get<QLabel>(IdAboutText)->setText(QString::fromLocal8Bit(aboutText(record)));
    connect(controls_->get<QPushButton>(IdOk), &QPushButton::clicked, this, &QDialog::accept);
}

AboutBox::~AboutBox() = default;

}  // namespace tarnwick
