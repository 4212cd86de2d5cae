// SPDX-License-Identifier: GPL-2.0-or-later
#include "worker_events.h"

#include <QCoreApplication>

namespace tarnwick {

WorkerMessageEvent::WorkerMessageEvent(PostedMessage message)
    : QEvent(eventType()), message_(std::move(message)) {}

QEvent::Type WorkerMessageEvent::eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

std::optional<PostedMessage> takeWorkerMessage(QEvent& event) {
    if (event.type() != WorkerMessageEvent::eventType()) {
        return std::nullopt;
    }
    return static_cast<WorkerMessageEvent&>(event).take();
}

void PostingSink::post(PostedMessage message) {
    // postEvent takes the event over and deletes it once delivered, or with
    // the receiver when that goes first.
    QCoreApplication::postEvent(&receiver_, new WorkerMessageEvent(std::move(message)));
}

}  // namespace tarnwick
