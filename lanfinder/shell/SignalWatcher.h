#pragma once

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the main thread, so
// that ending the process from outside runs the normal shutdown (browsers
// told, settings written) instead of losing the changes since the last save.

#include <QObject>
#include <csignal>
#include <initializer_list>
#include <vector>

class QSocketNotifier;

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; only one watcher may exist at a time. Throws a
    // QString when the wake-up pipe cannot be made or a watcher exists.
    explicit SignalWatcher(std::initializer_list<int> signalNumbers = {SIGINT, SIGTERM, SIGHUP},
                           QObject* parent = nullptr);
    // Restores the previous handlers.
    ~SignalWatcher() override;

signals:
    // Emitted on the watcher's thread once per signal received.
    void terminationRequested(int signalNumber);

private:
    void onReadable();

    struct Saved {
        int number;
        struct sigaction previous;
    };
    std::vector<Saved> saved_;
    QSocketNotifier* notifier_ = nullptr;
};
