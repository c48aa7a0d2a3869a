#include "shell/SignalWatcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

// The write end is all the handler touches: write() is async-signal-safe.
std::atomic<int> g_writeFd{-1};
int g_readFd = -1;

void onSignal(int number) {
    const int savedErrno = errno;
    const int fd = g_writeFd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(number);
        // A full pipe already holds a pending wake-up; losing this byte is harmless.
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

SignalWatcher::SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent) {
    if (g_writeFd.load() >= 0) {
        throw QStringLiteral("SignalWatcher: a watcher already exists");
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw QStringLiteral("SignalWatcher: cannot create the wake-up pipe: ") +
            QString::fromLocal8Bit(std::strerror(errno));
    }
    g_readFd = fds[0];
    g_writeFd.store(fds[1]);

    notifier_ = new QSocketNotifier(g_readFd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::onReadable);

    for (int number : signalNumbers) {
        struct sigaction action {};
        action.sa_handler = &onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        Saved saved{number, {}};
        if (::sigaction(number, &action, &saved.previous) == 0) {
            saved_.push_back(saved);
        }
    }
}

SignalWatcher::~SignalWatcher() {
    for (const Saved& saved : saved_) {
        ::sigaction(saved.number, &saved.previous, nullptr);
    }
    delete notifier_;
    const int writeFd = g_writeFd.exchange(-1);
    ::close(writeFd);
    ::close(g_readFd);
    g_readFd = -1;
}

void SignalWatcher::onReadable() {
    unsigned char bytes[64];
    for (;;) {
        const ssize_t n = ::read(g_readFd, bytes, sizeof bytes);
        if (n <= 0) {
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            emit terminationRequested(int(bytes[i]));
        }
    }
}
