#pragma once

#include <QPlainTextEdit>

class Logger;
class QShowEvent;

// The messages of the current run, live. A top-level window, created hidden;
// closing it only hides it.
class LogWindow : public QPlainTextEdit {
    Q_OBJECT
public:
    // Lines kept in the window; older ones are dropped so that a long run
    // does not grow without bound.
    static constexpr int maximumLines = 100000;

    explicit LogWindow(Logger* logger, QWidget* parent = nullptr);

protected:
    // Brings the newest messages into view whenever the window is shown.
    void showEvent(QShowEvent* event) override;
};
