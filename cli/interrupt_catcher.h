// SPDX-License-Identifier: GPL-2.0-or-later
// Counts Ctrl+C (SIGINT) while it lives, instead of letting it end the
// process; restores the previous handling when it goes.
//
// One at a time per process. count() may be read from any thread.
#pragma once

#include <memory>

namespace tarnwick {

class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

    // Interrupts since this catcher was made.
    [[nodiscard]] int count() const;

private:
    struct Previous;
    std::unique_ptr<Previous> previous_;
};

}  // namespace tarnwick
