// SPDX-License-Identifier: GPL-2.0-or-later
#include "progress_line.h"

#include <algorithm>

namespace tarnwick {
namespace {

constexpr unsigned kBarWidth = 30;
constexpr std::string_view kClearToEnd = "\x1b[K";

}  // namespace

void ProgressLine::apply(const ProgressDisplay& progress) {
    switch (progress.action) {
    case ProgressAction::None:
        break;
    case ProgressAction::Show:
        visible_ = true;
        status_.clear();
        lower_ = progress.lower;
        upper_ = progress.upper;
        position_ = progress.position;
        writtenQuarter_ = 0;
        break;
    case ProgressAction::Hide:
        breakLine();
        visible_ = false;
        break;
    case ProgressAction::SetStatus:
        status_ = progress.status;
        statusChanged();
        break;
    case ProgressAction::SetRange:
        lower_ = progress.lower;
        upper_ = progress.upper;
        barMoved();
        break;
    case ProgressAction::SetPosition:
        position_ = progress.position;
        barMoved();
        break;
    case ProgressAction::Step:
        ++position_;
        barMoved();
        break;
    }
}

void ProgressLine::breakLine() {
    if (drawn_) {
        err_ << '\n' << std::flush;
        drawn_ = false;
    }
}

unsigned ProgressLine::percent() const {
    const std::uint32_t span = upper_ - lower_;
    const std::uint32_t done = std::clamp<std::uint32_t>(position_, lower_, upper_) - lower_;
    return static_cast<unsigned>(done * 100 / span);
}

std::string ProgressLine::render() const {
    if (!hasBar()) {
        return status_;
    }
    const unsigned filled = percent() * kBarWidth / 100;
    std::string line = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] ";
    const std::string number = std::to_string(percent());
    line += std::string(3 - std::min<std::size_t>(3, number.size()), ' ') + number + "% " + status_;
    return line;
}

void ProgressLine::statusChanged() {
    // Each operation sets its own range after its status, if it has a bar.
    lower_ = 0;
    upper_ = 0;
    writtenQuarter_ = 0;
    if (inPlace_) {
        drawInPlace();
    } else if (visible_) {
        err_ << status_ << '\n' << std::flush;
    }
}

void ProgressLine::barMoved() {
    if (!visible_) {
        return;
    }
    if (inPlace_) {
        drawInPlace();
        return;
    }
    const unsigned quarter = hasBar() ? percent() / 25 : 0;
    if (quarter > writtenQuarter_) {
        writtenQuarter_ = quarter;
        err_ << render() << '\n' << std::flush;
    }
}

void ProgressLine::drawInPlace() {
    if (!visible_) {
        return;
    }
    err_ << '\r' << render() << kClearToEnd << std::flush;
    drawn_ = true;
}

}  // namespace tarnwick
