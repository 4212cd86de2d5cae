// SPDX-License-Identifier: GPL-2.0-or-later
#include "focus_return.h"

namespace tarnwick {

FocusReturn::FocusReturn(const QWidget& window) {
    for (QWidget* widget = window.focusWidget(); widget != nullptr && widget != &window;
         widget = widget->parentWidget()) {
        candidates_.emplace_back(widget);
    }
}

bool FocusReturn::restore() const {
    for (const QPointer<QWidget>& widget : candidates_) {
        if (widget && widget->isVisible() && widget->isEnabled() && widget->focusPolicy() != Qt::NoFocus) {
            widget->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return false;
}

}  // namespace tarnwick
