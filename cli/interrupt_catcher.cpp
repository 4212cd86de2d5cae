// SPDX-License-Identifier: GPL-2.0-or-later
#include "interrupt_catcher.h"

#include <atomic>
#include <csignal>

namespace tarnwick {
namespace {

std::atomic<int> interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only touch a lock-free atomic");

extern "C" void countInterrupt(int) {
    interrupts.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

struct InterruptCatcher::Previous {
    struct sigaction action {};
};

InterruptCatcher::InterruptCatcher() : previous_(std::make_unique<Previous>()) {
    interrupts.store(0);
    struct sigaction action {};
    action.sa_handler = countInterrupt;
    sigemptyset(&action.sa_mask);
    // Reads and waits go on after the handler; the session looks at the
    // count between messages.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previous_->action);
}

InterruptCatcher::~InterruptCatcher() {
    sigaction(SIGINT, &previous_->action, nullptr);
}

int InterruptCatcher::count() const {
    return interrupts.load(std::memory_order_relaxed);
}

}  // namespace tarnwick
