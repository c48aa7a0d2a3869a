#pragma once

// A small blocking WebSocket and HTTP client for tests. It speaks plain POSIX
// sockets, so it can run on any thread, including one that entered a network
// namespace, and it lets a test send exactly the headers and frames it wants
// (foreign Host or Origin, binary or oversized frames, abrupt disconnects).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace testsupport {

class WsClient {
public:
    enum Opcode : int { Continuation = 0, Text = 1, Binary = 2, Close = 8, Ping = 9, Pong = 10 };

    struct Options {
        std::string host = "127.0.0.1";
        std::uint16_t port = 8080;
        std::string path = "/ws";
        std::string hostHeader;             // empty: "<host>:<port>"
        std::optional<std::string> origin;  // sent only when set
        std::string extraHeaders;           // whole lines, each ending in "\r\n"
        int timeoutMs = 5000;
    };

    WsClient() = default;
    ~WsClient();
    WsClient(const WsClient&) = delete;
    WsClient& operator=(const WsClient&) = delete;

    // Connects and performs the upgrade. False when the connection or the
    // upgrade fails; handshakeStatus() then holds the HTTP status (0 when
    // there was no answer) and error() a description.
    bool connect(const Options& options);
    int handshakeStatus() const { return status_; }
    const std::string& error() const { return error_; }

    bool sendText(const std::string& text) { return sendFrame(Text, text); }
    bool sendBinary(const std::string& data) { return sendFrame(Binary, data); }
    bool sendFrame(int opcode, const std::string& payload, bool fin = true);

    // The next data message (text or binary, fragments joined), answering
    // pings on the way. Empty on timeout or when the connection closed.
    std::optional<std::string> receive(int timeoutMs);
    // Opcode of the message last returned by receive().
    int lastOpcode() const { return lastOpcode_; }

    // Receives messages until one satisfies pred; returns it, or empty when
    // timeoutMs passes or the connection closes first.
    std::optional<std::string> receiveUntil(const std::function<bool(const std::string&)>& pred,
                                            int timeoutMs);

    // True once the peer sent a close frame or the socket ended.
    bool closed() const { return closed_; }
    // The status code of the peer's close frame; -1 when none was received.
    int closeCode() const { return closeCode_; }
    // Waits up to timeoutMs for the peer to close; true when it did.
    bool waitClosed(int timeoutMs);

    // Clean close: sends a close frame with code and waits for the answer.
    void close(std::uint16_t code = 1000, int timeoutMs = 2000);
    // Drops the TCP connection without a close frame.
    void abort();

private:
    bool readMore(int timeoutMs);
    bool writeAll(const std::string& bytes);
    // One complete frame from the buffer: true with opcode/fin/payload set,
    // false when more bytes are needed.
    bool takeFrame(int& opcode, bool& fin, std::string& payload);

    int fd_ = -1;
    int status_ = 0;
    std::string error_;
    std::string buffer_;
    bool closed_ = false;
    bool closeSent_ = false;
    int closeCode_ = -1;
    int lastOpcode_ = 0;
};

struct HttpResponse {
    int status = 0;
    std::string headers;  // the status line and the header lines
    std::string body;
};

// One plain HTTP/1.1 GET with "Connection: close". Empty when no complete
// answer arrived within timeoutMs.
std::optional<HttpResponse> httpGet(const std::string& host, std::uint16_t port,
                                    const std::string& path, int timeoutMs = 5000,
                                    const std::string& hostHeader = {});

// The same with any method and extra header lines (each ending in "\r\n").
std::optional<HttpResponse> httpRequest(const std::string& host, std::uint16_t port,
                                        const std::string& method, const std::string& path,
                                        const std::string& extraHeaders = {}, int timeoutMs = 5000,
                                        const std::string& hostHeader = {});

// The value of the first header of that name (case-insensitive), if any.
std::optional<std::string> headerValue(const HttpResponse& response, const std::string& name);

}  // namespace testsupport
