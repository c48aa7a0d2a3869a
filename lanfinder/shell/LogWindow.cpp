#include "shell/LogWindow.h"

#include <QIcon>
#include <QScrollBar>
#include <QShowEvent>

#include "shell/Logger.h"
#include "shell/Resources.h"

LogWindow::LogWindow(Logger* logger, QWidget* parent) : QPlainTextEdit(parent) {
    initShellResources();
    resize(400, 500);
    setWindowIcon(QIcon(QStringLiteral(":/resources/images/lanfinder.ico")));
    setWindowTitle(QStringLiteral("vostrel Discovery Tool Log Viewer"));
    // The window collects every message of the run; without a cap a tray
    // program that runs for weeks would hold them all in memory.
    setMaximumBlockCount(maximumLines);
    m_appendTimer.setSingleShot(true);
    m_appendTimer.setInterval(appendIntervalMs);
    connect(&m_appendTimer, &QTimer::timeout, this, &LogWindow::appendPending);
    if (logger) {
        connect(logger, &Logger::message, this,
                [this](QtMsgType, const QString& msg) { onMessage(msg); });
    }
}

int LogWindow::pendingLines() const {
    return static_cast<int>(m_pending.size());
}

void LogWindow::onMessage(const QString& msg) {
    m_pending.push_back(msg.toUtf8());
    if (m_pending.size() > static_cast<std::size_t>(maximumLines)) {
        m_pending.pop_front();
    }
    if (isVisible() && !m_appendTimer.isActive()) {
        m_appendTimer.start();
    }
}

void LogWindow::appendPending() {
    m_appendTimer.stop();
    if (m_pending.empty()) {
        return;
    }
    QString text;
    bool first = true;
    for (const QByteArray& line : m_pending) {
        if (!first) {
            text += QLatin1Char('\n');
        }
        first = false;
        text += QString::fromUtf8(line);
    }
    m_pending.clear();
    // One paragraph per line, as appending them one by one would give; the
    // document's block limit drops the oldest ones.
    appendPlainText(text);
}

void LogWindow::showEvent(QShowEvent* event) {
    appendPending();
    QPlainTextEdit::showEvent(event);
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}
