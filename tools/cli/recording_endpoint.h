#pragma once

// The library makes each request's id itself and does not hand it back; the
// tool needs it to tell the answer to its own request from the answers to
// anyone else's. This endpoint passes everything to the real one and notes
// the id of the datagram it last sent.

#include <memory>
#include <mutex>
#include <string>

#include <beacon/icommunication_udp.h>

namespace cli {

class sent_ids {
public:
    void note(const std::string& datagram);
    // Before a send, so a send that reaches no endpoint leaves no stale id.
    void forget();
    // The "id" of the last datagram sent, "" when it had none.
    std::string last() const;

private:
    mutable std::mutex mutex_;
    std::string last_;
};

class recording_endpoint : public dp::icommunication_udp {
public:
    recording_endpoint(std::unique_ptr<dp::icommunication_udp> inner,
                       std::shared_ptr<sent_ids> sent);

    int bind(dp::bind_flag flag) override;
    void on_datagram_received(dp::datagram_callback callback) override;
    int write_datagram(const std::string& data, const std::string& ip, std::uint16_t port) override;
    int receive_broadcast_enable() override;
    int receive_broadcast_disable() override;
    std::string ip_address() const override;
    std::uint16_t port() const override;
    std::string mask() const override;
    std::string mac_address() const override;

private:
    std::unique_ptr<dp::icommunication_udp> inner_;
    std::shared_ptr<sent_ids> sent_;
};

}  // namespace cli
