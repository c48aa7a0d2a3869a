#pragma once

// A listener for requests on another network the PC is on: a plain socket
// on the request port that takes broadcasts, made inside that namespace. It
// files what it hears as discovery requests or requests that carry
// credentials, so a test can show that a password never reached a network.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "NetLab.h"

namespace testsupport {

class RequestSniffer {
public:
    RequestSniffer(NetLab& lab, const std::string& ns) {
        lab.inNamespace(ns, [this] {
            fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
            const int on = 1;
            ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
            ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(33001);
            address.sin_addr.s_addr = htonl(INADDR_ANY);
            bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        });
    }
    ~RequestSniffer() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    RequestSniffer(const RequestSniffer&) = delete;
    RequestSniffer& operator=(const RequestSniffer&) = delete;

    bool bound() const { return bound_; }
    // Takes every datagram waiting.
    void drain() {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n < 0) {
                return;
            }
            const std::string text(buffer, static_cast<std::size_t>(n));
            if (text.find("\"username\"") != std::string::npos ||
                text.find("\"password\"") != std::string::npos) {
                ++credential_requests;
            } else {
                ++other_requests;
            }
        }
    }

    int credential_requests = 0;
    int other_requests = 0;

private:
    int fd_ = -1;
    bool bound_ = false;
};

}  // namespace testsupport
