// SPDX-License-Identifier: GPL-2.0-or-later
// The modeless "Connect to camera..." window: a status line, a bar and
// Cancel. Only the worker's MsgProgress shows, fills and hides it; Cancel
// posts MsgCancel and leaves it open.
#pragma once

#include <QDialog>

#include <memory>

#include "control_table.h"
#include "notices.h"

class QLabel;
class QProgressBar;

namespace tarnwick {

inline constexpr char kProgressCaption[] = "Connect to camera...";
inline constexpr char kInitialStatus[] = "Reset camera to establish a connection...";

class ProgressWindow final : public QDialog {
    Q_OBJECT

public:
    // Hidden; centred over parent when shown. cancelSink receives MsgCancel
    // and outlives the window.
    ProgressWindow(QWidget& parent, MessageSink& cancelSink);
    ~ProgressWindow() override;

    void apply(const ProgressDisplay& progress);

    // The close box and Escape are the Cancel button too.
    void reject() override;

private:
    void hideAndReturnActivation();
    void step();

    MessageSink& cancelSink_;
    std::unique_ptr<ControlSet> controls_;
    QLabel* status_;
    QProgressBar* bar_;
};

}  // namespace tarnwick
