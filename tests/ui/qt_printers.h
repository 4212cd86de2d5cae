// SPDX-License-Identifier: GPL-2.0-or-later
// Qt strings in test failure messages as text, not as code units.
#pragma once

#include <QString>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
