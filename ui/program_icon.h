// SPDX-License-Identifier: GPL-2.0-or-later
// The program's icon: a camera, drawn rather than shipped as a file.
#pragma once

#include <QIcon>

namespace tarnwick {

// Made afresh per call: pixmaps must not outlive the application object.
QIcon programIcon();

}  // namespace tarnwick
