#include "QtWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace testsupport {

bool pumpUntil(const std::function<bool()>& cond, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!cond()) {
        if (elapsed.elapsed() > timeoutMs) {
            return cond();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // cond may turn true on another thread without posting an event:
        // poll rather than block waiting for one.
        QThread::msleep(2);
    }
    return true;
}

}  // namespace testsupport
