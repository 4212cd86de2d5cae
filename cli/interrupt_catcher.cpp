// SPDX-License-Identifier: GPL-2.0-or-later
#include "interrupt_catcher.h"

#include <array>
#include <atomic>
#include <csignal>

namespace tarnwick {
namespace {

constexpr std::array kCaughtSignals{SIGINT, SIGTERM, SIGHUP};

std::atomic<int> interrupts{0};
std::atomic<int> firstSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only touch a lock-free atomic");

extern "C" void countInterrupt(int signal) {
    // The first signal is known before the count shows it.
    int none = 0;
    firstSignal.compare_exchange_strong(none, signal);
    interrupts.fetch_add(1);
}

}  // namespace

struct InterruptCatcher::Previous {
    std::array<struct sigaction, kCaughtSignals.size()> actions{};
};

InterruptCatcher::InterruptCatcher() : previous_(std::make_unique<Previous>()) {
    interrupts.store(0);
    firstSignal.store(0);
    struct sigaction action {};
    action.sa_handler = countInterrupt;
    sigemptyset(&action.sa_mask);
    // Reads and waits go on after the handler; the session looks at the
    // count between messages.
    action.sa_flags = SA_RESTART;
    for (std::size_t index = 0; index < kCaughtSignals.size(); ++index) {
        sigaction(kCaughtSignals[index], &action, &previous_->actions[index]);
    }
}

InterruptCatcher::~InterruptCatcher() {
    for (std::size_t index = 0; index < kCaughtSignals.size(); ++index) {
        sigaction(kCaughtSignals[index], &previous_->actions[index], nullptr);
    }
}

int InterruptCatcher::count() const {
    return interrupts.load();
}

int InterruptCatcher::first() const {
    return firstSignal.load();
}

}  // namespace tarnwick
