// SPDX-License-Identifier: GPL-2.0-or-later
// The command line's progress window: a bar with the status line on the
// error stream, redrawn in place on a terminal and written as plain lines
// otherwise (a new line for every status, and for each quarter of a bar).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "notices.h"

namespace tarnwick {

class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool inPlace) : err_(err), inPlace_(inPlace) {}

    void apply(const ProgressDisplay& progress);
    // Ends a line drawn in place, so that other text starts on its own line.
    void breakLine();

private:
    [[nodiscard]] bool hasBar() const { return upper_ > lower_; }
    [[nodiscard]] unsigned percent() const;
    [[nodiscard]] std::string render() const;
    void statusChanged();
    void barMoved();
    void drawInPlace();

    std::ostream& err_;
    bool inPlace_;
    bool visible_ = false;
    bool drawn_ = false;
    std::string status_;
    std::uint16_t lower_ = 0;
    std::uint16_t upper_ = 0;
    std::uint32_t position_ = 0;
    // Plain lines: the last quarter of the bar that was written.
    unsigned writtenQuarter_ = 0;
};

}  // namespace tarnwick
