// SPDX-License-Identifier: GPL-2.0-or-later
#include "event.h"

#include <algorithm>
#include <condition_variable>

namespace tarnwick {

// One blocked waitAny call. set() raises `signalled` after changing its own
// state, so a waiter that checked its events before the change still wakes.
struct Event::Waiter {
    std::mutex mutex;
    std::condition_variable wake;
    bool signalled = false;
};

Event::Event(Reset reset, bool initiallySet) : reset_(reset), set_(initiallySet) {}

Event::~Event() = default;

void Event::set() {
    std::vector<std::shared_ptr<Waiter>> toWake;
    {
        std::lock_guard lock(mutex_);
        set_ = true;
        toWake = waiters_;
    }
    for (const auto& waiter : toWake) {
        {
            std::lock_guard lock(waiter->mutex);
            waiter->signalled = true;
        }
        waiter->wake.notify_all();
    }
}

void Event::reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
}

bool Event::isSet() const {
    std::lock_guard lock(mutex_);
    return set_;
}

bool Event::tryConsume() {
    std::lock_guard lock(mutex_);
    if (!set_) {
        return false;
    }
    if (reset_ == Reset::Auto) {
        set_ = false;
    }
    return true;
}

void Event::attach(const std::shared_ptr<Waiter>& waiter) {
    std::lock_guard lock(mutex_);
    waiters_.push_back(waiter);
}

void Event::detach(const std::shared_ptr<Waiter>& waiter) {
    std::lock_guard lock(mutex_);
    std::erase(waiters_, waiter);
}

bool Event::wait(Duration timeout) {
    Event* const self[] = {this};
    return waitAny(self, timeout).has_value();
}

void Event::wait() {
    Event* const self[] = {this};
    waitAny(self);
}

std::optional<std::size_t> Event::waitAny(std::span<Event* const> events, Duration timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto waiter = std::make_shared<Waiter>();
    for (Event* event : events) {
        event->attach(waiter);
    }
    std::optional<std::size_t> found;
    for (;;) {
        {
            std::lock_guard lock(waiter->mutex);
            waiter->signalled = false;
        }
        const auto first = std::find_if(events.begin(), events.end(),
                                        [](Event* event) { return event->tryConsume(); });
        if (first != events.end()) {
            found = static_cast<std::size_t>(first - events.begin());
            break;
        }
        std::unique_lock lock(waiter->mutex);
        if (!waiter->wake.wait_until(lock, deadline, [&] { return waiter->signalled; })) {
            break;
        }
    }
    for (Event* event : events) {
        event->detach(waiter);
    }
    return found;
}

std::size_t Event::waitAny(std::span<Event* const> events) {
    for (;;) {
        if (auto index = waitAny(events, std::chrono::hours(24))) {
            return *index;
        }
    }
}

}  // namespace tarnwick
