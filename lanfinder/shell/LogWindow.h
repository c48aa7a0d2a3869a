#pragma once

#include <deque>

#include <QByteArray>
#include <QPlainTextEdit>
#include <QTimer>

class Logger;
class QShowEvent;

// The messages of the current run, live. A top-level window, created hidden;
// closing it only hides it.
//
// Laying out a line (shaping its text) costs far more than keeping it, and
// the program logs a line per device property change, so the window lays out
// nothing while hidden: it keeps the newest lines and fills the document when
// it is shown. While visible, lines arrive in batches every appendIntervalMs.
class LogWindow : public QPlainTextEdit {
    Q_OBJECT
public:
    // Lines kept in the window; older ones are dropped so that a long run
    // does not grow without bound.
    static constexpr int maximumLines = 100000;
    // How long a visible window gathers lines before it lays them out.
    static constexpr int appendIntervalMs = 100;

    explicit LogWindow(Logger* logger, QWidget* parent = nullptr);

    // Lines logged but not yet in the document.
    int pendingLines() const;

protected:
    // Fills in the lines logged while hidden and brings the newest messages
    // into view whenever the window is shown.
    void showEvent(QShowEvent* event) override;

private:
    void onMessage(const QString& msg);
    void appendPending();

    // The backlog of a hidden window: UTF-8 text, a line feed after each
    // line, in chunks of about chunkBytes, so that a line costs its bytes and
    // not an allocation of its own. Whole chunks are dropped from the front
    // once the others hold maximumLines. A full chunk is kept compressed: the
    // lines of a scan repeat each other, and a full backlog took some 9 MB.
    struct Chunk {
        QByteArray text;
        int lines = 0;
        bool packed = false;
    };
    static constexpr int chunkBytes = 64 * 1024;
    std::deque<Chunk> m_pending;
    int m_pendingLines = 0;
    QTimer m_appendTimer;
};
