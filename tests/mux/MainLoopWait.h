#pragma once
// Waits for an event while the main loop runs, as the console's tests do: true once the condition
// holds, false after a bound that only a hang reaches.

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <thread>

inline bool waitWhileRunning(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
