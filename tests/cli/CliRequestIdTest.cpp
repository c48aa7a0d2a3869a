// The tool learns each request's id from the datagram the library sends, so
// that only the answer to its own request counts.

#include <gtest/gtest.h>

#include <beacon/codec.h>
#include <beacon/localize_request.h>

#include "recording_endpoint.h"

namespace {

class counting_endpoint : public dp::icommunication_udp {
public:
    int bind(dp::bind_flag) override { return 0; }
    void on_datagram_received(dp::datagram_callback) override {}
    int write_datagram(const std::string& data, const std::string& ip,
                       std::uint16_t port) override {
        last_data = data;
        last_ip = ip;
        last_port = port;
        return static_cast<int>(data.size()) - short_by;
    }
    int receive_broadcast_enable() override { return 0; }
    int receive_broadcast_disable() override { return 0; }
    std::string ip_address() const override { return "10.1.0.2"; }
    std::uint16_t port() const override { return 33002; }
    std::string mask() const override { return "255.255.255.0"; }
    std::string mac_address() const override { return "02:00:00:00:00:01"; }

    std::string last_data;
    std::string last_ip;
    std::uint16_t last_port = 0;
    int short_by = 0;
};

}  // namespace

TEST(CliRequestId, TheIdOfTheSentRequestIsNotedAndTheDatagramPassesUnchanged) {
    auto inner = std::make_unique<counting_endpoint>();
    auto* seen = inner.get();
    auto ids = std::make_shared<cli::sent_ids>();
    cli::recording_endpoint endpoint(std::move(inner), ids);

    dp::localize_request request;
    request.set_request_id("0b5c1d0e-4f1a-4c55-9d1e-2f9b8a7c6d5e");
    request.set_article_number("1010101");
    const std::string datagram = dp::encode(request);

    EXPECT_EQ(endpoint.write_datagram(datagram, "255.255.255.255", 33001),
              static_cast<int>(datagram.size()));
    EXPECT_EQ(seen->last_data, datagram);
    EXPECT_EQ(seen->last_ip, "255.255.255.255");
    EXPECT_EQ(seen->last_port, 33001);
    EXPECT_EQ(ids->last(), "0b5c1d0e-4f1a-4c55-9d1e-2f9b8a7c6d5e");
}

TEST(CliRequestId, ForgettingLeavesNoStaleIdForASendThatReachedNoEndpoint) {
    auto ids = std::make_shared<cli::sent_ids>();
    ids->note(R"({"action":"GET","id":"first"})");
    ASSERT_EQ(ids->last(), "first");
    ids->forget();
    EXPECT_EQ(ids->last(), "");
}

TEST(CliRequestId, DatagramsWithoutATextIdLeaveItEmpty) {
    auto ids = std::make_shared<cli::sent_ids>();
    for (const char* datagram : {"not json", R"({"id":7})", R"(["id"])", ""}) {
        ids->note(R"({"id":"earlier"})");
        ids->note(datagram);
        EXPECT_EQ(ids->last(), "") << datagram;
    }
}

TEST(CliRequestId, AShortWriteIsReportedAsTheInnerEndpointDidIt) {
    auto inner = std::make_unique<counting_endpoint>();
    inner->short_by = 3;
    cli::recording_endpoint endpoint(std::move(inner), std::make_shared<cli::sent_ids>());
    EXPECT_EQ(endpoint.write_datagram("0123456789", "10.1.0.255", 33001), 7);
    EXPECT_EQ(endpoint.ip_address(), "10.1.0.2");
    EXPECT_EQ(endpoint.port(), 33002);
}
