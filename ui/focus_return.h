// SPDX-License-Identifier: GPL-2.0-or-later
// Where the keyboard focus goes back to after a dialog or a job run: to the
// control that had it or, when that control is gone, hidden or disabled by
// then, to the nearest of its parents that can take it. Without this the
// toolkit hands the focus to the first control of the window, and the next
// arrow key would change the package.
//
// User interface thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include <vector>

namespace tarnwick {

class FocusReturn {
public:
    // Remembers the focus of window, also while a dialog over it is active.
    explicit FocusReturn(const QWidget& window);

    // Gives the focus back; false when no remembered control can take it.
    bool restore() const;

private:
    // The control with the focus first, then its parents.
    std::vector<QPointer<QWidget>> candidates_;
};

}  // namespace tarnwick
