// SPDX-License-Identifier: GPL-2.0-or-later
#include "progress_window.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>


namespace tarnwick {
namespace {

constexpr ControlRow kControls[] = {
    {IdStatusLine, ControlKind::Label, kInitialStatus, {7, 7, 212, 10}},
    {IdProgressBar, ControlKind::ProgressBar, "", {7, 20, 212, 12}},
    {IdCancel, ControlKind::Button, "Cancel", {88, 40, 50, 14}},
};

constexpr DialogTemplate kTemplate{kProgressCaption, 226, 60, kControls};

}  // namespace

ProgressWindow::ProgressWindow(QWidget& parent, MessageSink& cancelSink)
    : QDialog(&parent), cancelSink_(cancelSink) {
    setModal(false);
    controls_ = layOutDialog(*this, kTemplate);
    status_ = controls_->get<QLabel>(IdStatusLine);
    bar_ = controls_->get<QProgressBar>(IdProgressBar);
    connect(controls_->get<QPushButton>(IdCancel), &QPushButton::clicked, this, &ProgressWindow::reject);
}

ProgressWindow::~ProgressWindow() = default;

void ProgressWindow::apply(const ProgressDisplay& progress) {
    switch (progress.action) {
    case ProgressAction::Show:
        status_->clear();
        bar_->setRange(progress.lower, progress.upper);
        bar_->setValue(static_cast<int>(progress.position));
        move(parentWidget()->geometry().center() - rect().center());
        show();
        break;
    case ProgressAction::Hide:
        hideAndReturnActivation();
        break;
    case ProgressAction::SetStatus:
        status_->setText(QString::fromLocal8Bit(progress.status.data(), static_cast<qsizetype>(progress.status.size())));
        break;
    case ProgressAction::SetRange:
        bar_->setRange(progress.lower, progress.upper);
        break;
    case ProgressAction::SetPosition:
        bar_->setValue(static_cast<int>(progress.position));
        break;
    case ProgressAction::Step:
        step();
        break;
    case ProgressAction::None:
        break;
    }
}

// Shown, the window took the keyboard from the main window; it gives it back.
void ProgressWindow::hideAndReturnActivation() {
    const bool wasActive = isActiveWindow();
    hide();
    if (wasActive) {
        parentWidget()->activateWindow();
    }
}

// One step of 1; past the upper bound the bar starts again from the lower.
void ProgressWindow::step() {
    const int next = bar_->value() + 1;
    bar_->setValue(next > bar_->maximum() ? bar_->minimum() : next);
}

void ProgressWindow::reject() {
    postCancel(cancelSink_);
}

}  // namespace tarnwick
