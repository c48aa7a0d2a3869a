#include "shell/LogWindow.h"

#include <algorithm>

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
    connect(&m_appendTimer, &QTimer::timeout, this, [this] {
        // Hidden since the batch began: the lines wait for the next showing.
        if (isVisible()) {
            appendPending();
        }
    });
    if (logger) {
        connect(logger, &Logger::message, this,
                [this](QtMsgType, const QString& msg) { onMessage(msg); });
    }
}

int LogWindow::pendingLines() const {
    return std::min(m_pendingLines, maximumLines);
}

void LogWindow::onMessage(const QString& msg) {
    if (m_pending.empty() || m_pending.back().text.size() >= chunkBytes) {
        if (!m_pending.empty()) {
            Chunk& full = m_pending.back();
            // The fastest level: a chunk is packed once and read at most once.
            full.text = qCompress(full.text, 1);
            full.text.squeeze();
            full.packed = true;
        }
        m_pending.emplace_back();
        m_pending.back().text.reserve(chunkBytes + 256);
    }
    Chunk& chunk = m_pending.back();
    chunk.text += msg.toUtf8();
    chunk.text += '\n';
    // A message with line feeds makes several paragraphs, as appendPlainText()
    // would.
    const int lines = msg.count(QLatin1Char('\n')) + 1;
    chunk.lines += lines;
    m_pendingLines += lines;
    while (m_pending.size() > 1 && m_pendingLines - m_pending.front().lines >= maximumLines) {
        m_pendingLines -= m_pending.front().lines;
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
    QByteArray text;
    int skip = m_pendingLines - maximumLines;
    for (const Chunk& chunk : m_pending) {
        if (skip >= chunk.lines) {
            skip -= chunk.lines;
            continue;
        }
        const QByteArray lines = chunk.packed ? qUncompress(chunk.text) : chunk.text;
        int from = 0;
        while (skip > 0) {
            from = lines.indexOf('\n', from) + 1;
            --skip;
        }
        text.append(lines.constData() + from, lines.size() - from);
    }
    m_pending.clear();
    m_pendingLines = 0;
    text.chop(1);
    // One paragraph per line, as appending them one by one would give; the
    // document's block limit drops the oldest ones.
    appendPlainText(QString::fromUtf8(text));
}

void LogWindow::showEvent(QShowEvent* event) {
    appendPending();
    QPlainTextEdit::showEvent(event);
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}
