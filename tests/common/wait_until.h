#pragma once

// Waiting in tests: events are processed while a condition is polled, so that queued signals,
// timers and the serial reader's notifications arrive in the meantime.

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <chrono>
#include <thread>

/// Processes events until pred() holds or nMilliseconds pass; returns pred()'s last answer.
template <class Pred> bool WaitUntil(Pred pred, int nMilliseconds = 5000) {
    QDeadlineTimer deadline(nMilliseconds);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

/// Processes events for nMilliseconds (lets a late, unwanted event show up).
inline void Settle(int nMilliseconds) {
    WaitUntil([] { return false; }, nMilliseconds);
}
