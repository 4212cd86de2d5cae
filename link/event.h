// SPDX-License-Identifier: GPL-2.0-or-later
// Events with the reset semantics the worker and the link rely on.
//
// A manual-reset event stays set until reset(); an auto-reset event is
// consumed by the one wait that sees it. waitAny() watches several events and
// reports the first one set in the order given, so the caller's order is its
// priority; only the reported event is consumed.
//
// Every member may be called from any thread. Events are neither copyable
// nor movable: waiters hold their address.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace tarnwick {

class Event {
public:
    enum class Reset { Manual, Auto };
    using Duration = std::chrono::steady_clock::duration;

    explicit Event(Reset reset, bool initiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    ~Event();

    void set();
    void reset();

    // Without consuming: for polling a manual-reset event.
    [[nodiscard]] bool isSet() const;

    // True when the event was set within the timeout; consumes an auto-reset event.
    bool wait(Duration timeout);
    void wait();

    // Index of the first set event in `events`, or nothing on timeout.
    static std::optional<std::size_t> waitAny(std::span<Event* const> events, Duration timeout);
    static std::size_t waitAny(std::span<Event* const> events);

    struct Waiter;

private:
    bool tryConsume();
    void attach(const std::shared_ptr<Waiter>& waiter);
    void detach(const std::shared_ptr<Waiter>& waiter);

    const Reset reset_;
    mutable std::mutex mutex_;
    bool set_;
    std::vector<std::shared_ptr<Waiter>> waiters_;
};

}  // namespace tarnwick
