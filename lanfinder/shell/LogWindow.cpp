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
    if (logger) {
        connect(logger, &Logger::message, this,
                [this](QtMsgType, const QString& msg) { appendPlainText(msg); });
    }
}

void LogWindow::showEvent(QShowEvent* event) {
    QPlainTextEdit::showEvent(event);
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}
