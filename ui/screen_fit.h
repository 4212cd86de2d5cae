// SPDX-License-Identifier: GPL-2.0-or-later
// Where a window laid out from a template goes on the screen it opens on.
// The template's size grows with the font (and the desktop's scale), so on a
// small screen it can outgrow the screen's free area; the window then takes
// what the area leaves and scrolls its contents, and never hangs off an edge.
//
// Plain geometry, any thread.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

namespace tarnwick {

// The client area of a window whose contents take content, centred in the
// screen's free area available with room for its frame around it: as large
// as the contents, or, where they do not fit, as large as the area allows.
// A direction that scrolls takes a scroll bar of scrollBar pixels from the
// other.
QRect FitOnScreen(QSize content, const QRect& available, const QMargins& frame, int scrollBar);

}  // namespace tarnwick
