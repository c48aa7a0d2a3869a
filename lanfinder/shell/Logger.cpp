#include "shell/Logger.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include "logbridge/p7.h"
#include "state/Settings.h"

namespace {

QMutex& loggerMutex() {
    static QMutex mutex;
    return mutex;
}

// Guarded by loggerMutex(). Cleared by ~Logger: the handler stays installed
// after the application object (the logger's parent) is gone, so late
// messages still reach the log files but no longer a dead object.
Logger* g_logger = nullptr;
bool g_created = false;

// A message logged while this thread is already inside the handler (for
// example by a slot connected to message()) is only written to the files.
thread_local bool t_inHandler = false;

}  // namespace

Logger::Logger(QObject* parent) : QObject(parent) {}

Logger::~Logger() {
    QMutexLocker lock(&loggerMutex());
    if (g_logger == this) {
        g_logger = nullptr;
    }
}

Logger* Logger::instance() {
    QMutexLocker lock(&loggerMutex());
    if (!g_created) {
        g_created = true;
        qRegisterMetaType<QtMsgType>("QtMsgType");
        QCoreApplication* app = QCoreApplication::instance();
        auto* logger = new Logger(nullptr);
        if (app) {
            // The logger belongs to the main thread whichever thread asked first,
            // so the window's slots and the parent's destruction happen there.
            if (logger->thread() != app->thread()) {
                logger->moveToThread(app->thread());
            }
            logger->setParent(app);
        }
        g_logger = logger;
        qInstallMessageHandler(&Logger::msgHandler);
    }
    return g_logger;
}

int Logger::levelFor(QtMsgType type) {
    switch (type) {
        case QtDebugMsg:
        case QtInfoMsg:
            return 0;
        case QtWarningMsg:
            return 1;
        case QtCriticalMsg:
        case QtFatalMsg:
            return 2;
    }
    return -1;
}

void Logger::msgHandler(QtMsgType type, const QMessageLogContext& /*context*/, const QString& msg) {
    const int level = levelFor(type);
    if (level >= 0) {
        // The text goes over as data, never as a format string, so "100%" stays intact.
        p7::deliver(level, __LINE__, __FILE__, "Logger::msgHandler", msg.toUtf8().toStdString());
    }
    if (t_inHandler) {
        return;
    }
    t_inHandler = true;
    QMutexLocker lock(&loggerMutex());
    Logger* logger = g_logger;
    if (logger) {
        if (logger->thread() == QThread::currentThread()) {
            // Emitted directly: the logger can only be destroyed on this same
            // thread, and the lock is not held while the window's slots run.
            lock.unlock();
            emit logger->message(type, msg);
        } else {
            // Posted under the lock, so ~Logger cannot run in between; a
            // posted call is dropped with the object if it dies first.
            QMetaObject::invokeMethod(
                logger, [logger, type, msg] { emit logger->message(type, msg); },
                Qt::QueuedConnection);
        }
    }
    t_inHandler = false;
}

bool setupLogFile(const QString& folder) {
    Logger::instance();
    const int error = p7::set_text_file(10, folder.toStdWString(), 20);
    p7::status(true, 2);
    return error == 0;
}

bool setupLogFile() {
    return setupLogFile(logFolderPath());
}

QString escapedForLog(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const ushort code = c.unicode();
        if (c == QLatin1Char('\\')) {
            out += QLatin1String("\\\\");
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else if (c == QLatin1Char('\r')) {
            out += QLatin1String("\\r");
        } else if (c == QLatin1Char('\t')) {
            out += QLatin1String("\\t");
        } else if (code < 0x20 || (code >= 0x7f && code < 0xa0)) {
            out += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
        } else if (c.category() == QChar::Separator_Line ||
                   c.category() == QChar::Separator_Paragraph) {
            out += QStringLiteral("\\u%1").arg(code, 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}
