// SPDX-License-Identifier: GPL-2.0-or-later
#include "screen_fit.h"

#include <algorithm>

namespace tarnwick {

QRect FitOnScreen(QSize content, const QRect& available, const QMargins& frame, int scrollBar) {
    const QSize room = available.size().shrunkBy(frame).expandedTo(QSize(0, 0));
    // Each scroll bar can make the other needed; two rounds settle both.
    bool scrollsDown = false;
    bool scrollsAcross = false;
    for (int round = 0; round < 2; ++round) {
        scrollsDown = content.height() + (scrollsAcross ? scrollBar : 0) > room.height();
        scrollsAcross = content.width() + (scrollsDown ? scrollBar : 0) > room.width();
    }
    const QSize needed = content + QSize(scrollsDown ? scrollBar : 0, scrollsAcross ? scrollBar : 0);
    const QSize client = needed.boundedTo(room);
    const QSize outer = client.grownBy(frame);
    const QPoint corner(available.left() + std::max(0, (available.width() - outer.width()) / 2),
                        available.top() + std::max(0, (available.height() - outer.height()) / 2));
    return {corner + QPoint(frame.left(), frame.top()), client};
}

}  // namespace tarnwick
