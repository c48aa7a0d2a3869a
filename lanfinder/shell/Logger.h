#pragma once

// The application's one message handler: every Qt message goes to logbridge
// (the log files) and is re-emitted as a signal for the log window.

#include <QObject>
#include <QString>
#include <QtGlobal>

class Logger : public QObject {
    Q_OBJECT
public:
    // The process-wide logger, created (and the handler installed) on the
    // first call; safe to call from several threads at once.
    static Logger* instance();

    // Installed with qInstallMessageHandler; runs on whatever thread logs.
    static void msgHandler(QtMsgType type, const QMessageLogContext& context, const QString& msg);

    // The logbridge level of a Qt message type; -1 for a type outside the
    // table, which is not delivered.
    static int levelFor(QtMsgType type);

    ~Logger() override;

signals:
    void message(QtMsgType type, QString msg);

private:
    explicit Logger(QObject* parent);
};

// Points logbridge at the log folder (logFolderPath()); true when its text
// files are set up. The handler is installed even when this fails.
bool setupLogFile();
// The same with an explicit folder.
bool setupLogFile(const QString& folder);

// Text from outside (another process, a device) made safe for one log line:
// line breaks and other control characters become visible escapes ("\n",
// "\r", "\t", "\x1b", "\u2028"), and a backslash is doubled so that an
// escape in the text cannot pass for one of ours.
QString escapedForLog(const QString& text);
