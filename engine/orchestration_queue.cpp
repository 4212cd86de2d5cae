// SPDX-License-Identifier: GPL-2.0-or-later
#include "orchestration_queue.h"

namespace tarnwick {

void MessageQueue::post(PostedMessage message) {
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(std::move(message));
    }
    posted_.notify_one();
}

std::optional<PostedMessage> MessageQueue::takeNext(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!posted_.wait_for(lock, timeout, [this] { return !messages_.empty(); })) {
        return std::nullopt;
    }
    PostedMessage message = std::move(messages_.front());
    messages_.pop_front();
    return message;
}

}  // namespace tarnwick
