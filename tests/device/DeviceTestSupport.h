#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace devicetest {

// Serves the main thread's queued calls until cond holds or timeoutMs
// passes; returns cond's last value.
inline bool waitForQt(const std::function<bool()>& cond, int timeoutMs = 5000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!cond()) {
        if (elapsed.elapsed() > timeoutMs) {
            return cond();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace devicetest
