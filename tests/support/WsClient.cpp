#include "WsClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Non-blocking connect bounded by timeoutMs; returns a blocking socket or -1.
int connectTcp(const std::string& host, std::uint16_t port, int timeoutMs, std::string& error) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        error = "not an IPv4 address: " + host;
        return -1;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno != EINPROGRESS) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    if (rc != 0) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, timeoutMs) != 1) {
            error = "connect timed out";
            ::close(fd);
            return -1;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
        if (soError != 0) {
            error = std::strerror(soError);
            ::close(fd);
            return -1;
        }
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool sendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Appends what arrives within timeoutMs; false on timeout, error or EOF.
bool recvSome(int fd, std::string& into, int timeoutMs, bool& eof) {
    pollfd p{fd, POLLIN, 0};
    int rc = poll(&p, 1, timeoutMs);
    if (rc <= 0) {
        return false;
    }
    char chunk[65536];
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
        eof = true;
        return false;
    }
    into.append(chunk, static_cast<size_t>(n));
    return true;
}

int parseStatus(const std::string& head) {
    // "HTTP/1.1 101 Switching Protocols"
    auto space = head.find(' ');
    if (space == std::string::npos) {
        return 0;
    }
    return std::atoi(head.c_str() + space + 1);
}

}  // namespace

WsClient::~WsClient() {
    abort();
}

bool WsClient::connect(const Options& options) {
    abort();
    closed_ = false;
    closeSent_ = false;
    closeCode_ = -1;
    buffer_.clear();
    status_ = 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(options.timeoutMs);
    fd_ = connectTcp(options.host, options.port, options.timeoutMs, error_);
    if (fd_ < 0) {
        return false;
    }
    std::string hostHeader = options.hostHeader.empty()
                                 ? options.host + ":" + std::to_string(options.port)
                                 : options.hostHeader;
    std::string request = "GET " + options.path + " HTTP/1.1\r\nHost: " + hostHeader +
                          "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                          "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                          "Sec-WebSocket-Version: 13\r\n";
    if (options.origin) {
        request += "Origin: " + *options.origin + "\r\n";
    }
    request += options.extraHeaders + "\r\n";
    if (!sendAll(fd_, request)) {
        error_ = "could not send the upgrade request";
        abort();
        return false;
    }
    size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
        bool eof = false;
        if (!recvSome(fd_, buffer_, remainingMs(deadline), eof)) {
            status_ = parseStatus(buffer_);
            error_ = eof ? "connection closed during the upgrade" : "upgrade timed out";
            abort();
            return false;
        }
    }
    std::string head = buffer_.substr(0, end);
    buffer_.erase(0, end + 4);
    status_ = parseStatus(head);
    if (status_ != 101) {
        error_ = "upgrade refused: " + head.substr(0, head.find("\r\n"));
        abort();
        return false;
    }
    return true;
}

bool WsClient::writeAll(const std::string& bytes) {
    return fd_ >= 0 && sendAll(fd_, bytes);
}

bool WsClient::sendFrame(int opcode, const std::string& payload, bool fin) {
    static thread_local std::mt19937 rng{std::random_device{}()};
    std::string frame;
    frame.push_back(static_cast<char>((fin ? 0x80 : 0x00) | (opcode & 0x0f)));
    const std::uint64_t len = payload.size();
    if (len < 126) {
        frame.push_back(static_cast<char>(0x80 | len));
    } else if (len <= 0xffff) {
        frame.push_back(static_cast<char>(0x80 | 126));
        frame.push_back(static_cast<char>((len >> 8) & 0xff));
        frame.push_back(static_cast<char>(len & 0xff));
    } else {
        frame.push_back(static_cast<char>(0x80 | 127));
        for (int shift = 56; shift >= 0; shift -= 8) {
            frame.push_back(static_cast<char>((len >> shift) & 0xff));
        }
    }
    unsigned char mask[4];
    for (auto& m : mask) {
        m = static_cast<unsigned char>(rng() & 0xff);
    }
    frame.append(reinterpret_cast<char*>(mask), 4);
    const size_t start = frame.size();
    frame += payload;
    for (size_t i = 0; i < payload.size(); ++i) {
        frame[start + i] = static_cast<char>(frame[start + i] ^ mask[i % 4]);
    }
    return writeAll(frame);
}

bool WsClient::takeFrame(int& opcode, bool& fin, std::string& payload) {
    if (buffer_.size() < 2) {
        return false;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(buffer_.data());
    fin = (b[0] & 0x80) != 0;
    opcode = b[0] & 0x0f;
    const bool masked = (b[1] & 0x80) != 0;
    std::uint64_t len = b[1] & 0x7f;
    size_t pos = 2;
    if (len == 126) {
        if (buffer_.size() < 4) {
            return false;
        }
        len = (std::uint64_t{b[2]} << 8) | b[3];
        pos = 4;
    } else if (len == 127) {
        if (buffer_.size() < 10) {
            return false;
        }
        len = 0;
        for (int i = 0; i < 8; ++i) {
            len = (len << 8) | b[2 + i];
        }
        pos = 10;
    }
    const size_t maskPos = pos;
    if (masked) {
        pos += 4;
    }
    if (buffer_.size() < pos + len) {
        return false;
    }
    payload = buffer_.substr(pos, len);
    if (masked) {
        for (size_t i = 0; i < payload.size(); ++i) {
            payload[i] = static_cast<char>(payload[i] ^ buffer_[maskPos + (i % 4)]);
        }
    }
    buffer_.erase(0, pos + len);
    return true;
}

bool WsClient::readMore(int timeoutMs) {
    if (fd_ < 0) {
        return false;
    }
    bool eof = false;
    bool got = recvSome(fd_, buffer_, timeoutMs, eof);
    if (eof) {
        closed_ = true;
    }
    return got;
}

std::optional<std::string> WsClient::receive(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string message;
    int messageOpcode = -1;
    for (;;) {
        int opcode = 0;
        bool fin = false;
        std::string payload;
        while (!takeFrame(opcode, fin, payload)) {
            if (closed_ || !readMore(remainingMs(deadline))) {
                return std::nullopt;
            }
        }
        switch (opcode) {
            case Ping:
                sendFrame(Pong, payload);
                continue;
            case Pong:
                continue;
            case Close:
                closeCode_ = payload.size() >= 2 ? ((static_cast<unsigned char>(payload[0]) << 8) |
                                                    static_cast<unsigned char>(payload[1]))
                                                 : 1005;
                if (!closeSent_) {
                    closeSent_ = true;
                    sendFrame(Close, payload.substr(0, 2));
                }
                closed_ = true;
                return std::nullopt;
            case Continuation:
                message += payload;
                break;
            default:
                messageOpcode = opcode;
                message = payload;
                break;
        }
        if (fin) {
            lastOpcode_ = messageOpcode;
            return message;
        }
    }
}

std::optional<std::string> WsClient::receiveUntil(
    const std::function<bool(const std::string&)>& pred, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto message = receive(remainingMs(deadline));
        if (!message) {
            return std::nullopt;
        }
        if (pred(*message)) {
            return message;
        }
    }
}

bool WsClient::waitClosed(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!closed_) {
        if (remainingMs(deadline) == 0) {
            return false;
        }
        receive(remainingMs(deadline));
    }
    return true;
}

void WsClient::close(std::uint16_t code, int timeoutMs) {
    if (fd_ < 0) {
        return;
    }
    if (!closed_ && !closeSent_) {
        std::string body;
        body.push_back(static_cast<char>(code >> 8));
        body.push_back(static_cast<char>(code & 0xff));
        closeSent_ = true;
        sendFrame(Close, body);
        waitClosed(timeoutMs);
    }
    abort();
}

void WsClient::abort() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::optional<HttpResponse> httpGet(const std::string& host, std::uint16_t port,
                                    const std::string& path, int timeoutMs,
                                    const std::string& hostHeader) {
    return httpRequest(host, port, "GET", path, {}, timeoutMs, hostHeader);
}

std::optional<HttpResponse> httpRequest(const std::string& host, std::uint16_t port,
                                        const std::string& method, const std::string& path,
                                        const std::string& extraHeaders, int timeoutMs,
                                        const std::string& hostHeader) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string error;
    int fd = connectTcp(host, port, timeoutMs, error);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string request = method + " " + path + " HTTP/1.1\r\nHost: " +
                          (hostHeader.empty() ? host + ":" + std::to_string(port) : hostHeader) +
                          "\r\n" + extraHeaders + "Connection: close\r\n\r\n";
    std::string data;
    bool eof = false;
    if (sendAll(fd, request)) {
        while (!eof && remainingMs(deadline) > 0) {
            recvSome(fd, data, remainingMs(deadline), eof);
        }
    }
    ::close(fd);
    auto end = data.find("\r\n\r\n");
    if (!eof || end == std::string::npos) {
        return std::nullopt;
    }
    HttpResponse response;
    response.headers = data.substr(0, end);
    response.status = parseStatus(response.headers);
    response.body = data.substr(end + 4);
    return response;
}

std::optional<std::string> headerValue(const HttpResponse& response, const std::string& name) {
    std::string lower;
    for (char c : response.headers) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string wanted = "\r\n";
    for (char c : name) {
        wanted += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    wanted += ":";
    const auto at = lower.find(wanted);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const auto start = at + wanted.size();
    const auto end = response.headers.find("\r\n", start);
    std::string value =
        response.headers.substr(start, end == std::string::npos ? end : end - start);
    const auto first = value.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : value.substr(first);
}

}  // namespace testsupport
