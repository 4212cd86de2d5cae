// SPDX-License-Identifier: GPL-2.0-or-later
// The worker's messages as Qt events: the sink posts each PostedMessage, with
// its number, code and Notice, to a receiver on the user interface thread,
// which takes it back out in its event handler.
#pragma once

#include <QEvent>
#include <QObject>

#include <optional>

#include "notices.h"

namespace tarnwick {

class WorkerMessageEvent final : public QEvent {
public:
    explicit WorkerMessageEvent(PostedMessage message);

    // The event type, registered once with Qt.
    static QEvent::Type eventType();

    // Moves the message out; the event then holds none.
    PostedMessage take() { return std::move(message_); }

private:
    PostedMessage message_;
};

// The message carried by a worker event; nothing for any other event.
std::optional<PostedMessage> takeWorkerMessage(QEvent& event);

class PostingSink final : public MessageSink {
public:
    // receiver lives on the user interface thread and outlives every
    // sender's use of the sink (the worker is stopped first).
    explicit PostingSink(QObject& receiver) : receiver_(receiver) {}

    // Any thread; returns at once.
    void post(PostedMessage message) override;

private:
    QObject& receiver_;
};

}  // namespace tarnwick
