#include "flash/frontend/UiQueue.h"

#include "platform/windowthread/WindowThread.h"

UiQueue::UiQueue(QObject* parent) : QObject(parent) { WatchWindowThreadHandOver(); }

void UiQueue::Post(std::function<void()> work) { PostToWindowThread(this, std::move(work)); }

void UiQueue::Drain() { DeliverPostedCalls(); }
