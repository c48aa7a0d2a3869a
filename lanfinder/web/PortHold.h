#pragma once

#include <QHostAddress>

// Keeps an address and port from every other program without serving on it:
// the socket is bound but never listens, so no one else can bind there (we
// set no reuse option), and a browser that tries it is refused at once and
// goes on to the next address of the name. CivetWeb as Debian builds it
// cannot serve IPv6, and [::1] at our port must not be left for another
// user's program to catch "localhost" with.
class PortHold {
public:
    PortHold(const QHostAddress& address, quint16 port);
    ~PortHold();
    PortHold(const PortHold&) = delete;
    PortHold& operator=(const PortHold&) = delete;

    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};
