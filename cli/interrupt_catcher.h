// SPDX-License-Identifier: GPL-2.0-or-later
// Counts the signals that ask a command to stop (Ctrl+C's SIGINT, SIGTERM
// from a service manager or kill, SIGHUP when the terminal goes) while it
// lives, instead of letting them end the process; restores the previous
// handling when it goes.
//
// One at a time per process. count() and first() may be read from any thread.
#pragma once

#include <memory>

namespace tarnwick {

class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    // Interrupts since this catcher was made, of any of the signals.
    [[nodiscard]] int count() const;
    // The number of the first one's signal; 0 before any.
    [[nodiscard]] int first() const;

private:
    struct Previous;
    std::unique_ptr<Previous> previous_;
};

}  // namespace tarnwick
