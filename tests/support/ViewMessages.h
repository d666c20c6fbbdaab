// Driving a monitor window as the link and the main frame do: a message with its own
// copy of a record, or the window's clear message, handled before the call returns.
#pragma once

#include <QCoreApplication>
#include <QWidget>

#include "monitor/windows/WindowRegistry.h"

namespace testsupport {

inline void Deliver(QWidget& view, int number, LinkPayload payload) {
    LinkEvent event(LinkMessage{number, std::move(payload)});
    QCoreApplication::sendEvent(&view, &event);
}

inline void DeliverClear(QWidget& view, int clearMessage) {
    QEvent event(static_cast<QEvent::Type>(clearMessage));
    QCoreApplication::sendEvent(&view, &event);
}

}  // namespace testsupport
