// SPDX-License-Identifier: GPL-2.0-or-later
// A receiver of the worker's messages for front ends without a message loop
// of their own (the command line, tests): posted from any thread, taken on
// the thread that runs the orchestration.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "notices.h"

namespace tarnwick {

class MessageQueue final : public MessageSink {
public:
    // Any thread; never waits for the receiver.
    void post(PostedMessage message) override;
    // The oldest message, waiting at most timeout for one to arrive.
    std::optional<PostedMessage> takeNext(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<PostedMessage> messages_;
};

}  // namespace tarnwick
