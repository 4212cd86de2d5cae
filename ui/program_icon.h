// SPDX-License-Identifier: GPL-2.0-or-later
// The program's icon: the drawing resources/tarnwick.svg, which the icon
// theme installs too, as PNGs rendered from it at build time.
#pragma once

#include <QIcon>

namespace tarnwick {

// Made afresh per call: pixmaps must not outlive the application object.
QIcon programIcon();

}  // namespace tarnwick
