// SPDX-License-Identifier: GPL-2.0-or-later
#include "program_icon.h"

#include <QDirIterator>

// Outside any namespace, as Qt's resource initialiser must be named; called
// so that the static link keeps the embedded icons.
static bool loadIconResource() {
    Q_INIT_RESOURCE(tarnwick_icons);
    return true;
}

namespace tarnwick {

QIcon programIcon() {
    [[maybe_unused]] static const bool loaded = loadIconResource();
    QIcon icon;
    // One rendering a size, :/icons/<side>/tarnwick.png.
    QDirIterator files(QStringLiteral(":/icons"), {QStringLiteral("tarnwick.png")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        icon.addFile(files.next());
    }
    return icon;
}

}  // namespace tarnwick
