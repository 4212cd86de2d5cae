// SPDX-License-Identifier: GPL-2.0-or-later
// Qt strings and rectangles in test failure messages as text, not as bytes.
#pragma once

#include <QRect>
#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QRect& rect, std::ostream* out) {
    *out << rect.width() << 'x' << rect.height() << " at (" << rect.x() << ", " << rect.y() << ')';
}
