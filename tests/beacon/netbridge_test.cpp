#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "NetLab.h"
#include "netbridge/socket_udp_async.h"

namespace {

using netbridge::socket_udp_async;
using testsupport::NetLab;
using testsupport::waitFor;

constexpr unsigned short port = 45001;

// Counts what one socket receives, per payload, with the sender seen.
struct inbox {
    std::mutex mutex;
    std::map<std::string, int> count;
    std::map<std::string, std::string> sender;

    void attach(socket_udp_async& socket) {
        socket.on_datagram_received([this](std::string data, std::string ip, unsigned short) {
            std::lock_guard<std::mutex> lock(mutex);
            ++count[data];
            sender[data] = ip;
        });
    }
    int of(const std::string& payload) {
        std::lock_guard<std::mutex> lock(mutex);
        return count[payload];
    }
    std::string sender_of(const std::string& payload) {
        std::lock_guard<std::mutex> lock(mutex);
        return sender[payload];
    }
};

std::unique_ptr<socket_udp_async> bound(const std::string& ip, unsigned short p,
                                        int* result = nullptr) {
    auto socket = std::make_unique<socket_udp_async>();
    socket->broadcast_enable(true);
    const int r = socket->bind(ip, p, socket_udp_async::bind_client);
    if (result) {
        *result = r;
    }
    return r == 0 ? std::move(socket) : nullptr;
}

// ns a: card va 10.1.0.1/24 to ns b (on request also 10.1.0.11, and card wa
// 10.2.0.1/24 to ns c).
// ns b: card vb 10.1.0.2/24 (on request also 10.9.0.2/24).
class NetbridgeLab : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!NetLab::available(&why)) {
            GTEST_SKIP() << why;
        }
        lab = std::make_unique<NetLab>();
        a = lab->addNamespace("a");
        b = lab->addNamespace("b");
        lab->link(a, "va", "10.1.0.1/24", b, "vb", "10.1.0.2/24");
    }

    // Only the cases that need them pay for the extra addresses and card.
    void add_second_addresses() {
        lab->ip(a, "addr add 10.1.0.11/24 dev va");
        lab->ip(b, "addr add 10.9.0.2/24 dev vb");
        lab->ip(a, "route add 10.9.0.0/24 dev va");
    }
    void add_third_namespace() {
        c = lab->addNamespace("c");
        lab->link(a, "wa", "10.2.0.1/24", c, "wc", "10.2.0.3/24");
    }

    // Makes the socket on a thread inside ns; it stays in ns for good.
    std::unique_ptr<socket_udp_async> make(const std::string& ns, const std::string& ip,
                                           unsigned short p = port, int* result = nullptr) {
        std::unique_ptr<socket_udp_async> socket;
        lab->inNamespace(ns, [&] { socket = bound(ip, p, result); });
        return socket;
    }

    std::unique_ptr<NetLab> lab;
    std::string a, b, c;
};

TEST_F(NetbridgeLab, EachAddressOfACardGetsItsOwnTraffic) {
    add_second_addresses();
    auto sender = make(a, "10.1.0.1", port + 1);
    auto first = make(b, "10.1.0.2");
    auto second = make(b, "10.9.0.2");
    ASSERT_TRUE(sender && first && second);
    inbox in1, in2;
    in1.attach(*first);
    in2.attach(*second);

    EXPECT_EQ(sender->write_datagram("limited", "255.255.255.255", port), 7);
    EXPECT_EQ(sender->write_datagram("directed", "10.1.0.255", port), 8);
    EXPECT_EQ(sender->write_datagram("to-first", "10.1.0.2", port), 8);
    EXPECT_EQ(sender->write_datagram("to-second", "10.9.0.2", port), 9);
    // Datagrams on one veth keep their order: once the markers are in,
    // everything sent before them has been delivered.
    sender->write_datagram("marker", "10.1.0.2", port);
    sender->write_datagram("marker", "10.9.0.2", port);
    ASSERT_TRUE(waitFor([&] { return in1.of("marker") == 1 && in2.of("marker") == 1; }, 5000));

    EXPECT_EQ(in1.of("limited"), 1);
    EXPECT_EQ(in2.of("limited"), 1);
    EXPECT_EQ(in1.of("directed"), 1);
    EXPECT_EQ(in2.of("directed"), 0);
    EXPECT_EQ(in1.of("to-first"), 1);
    EXPECT_EQ(in2.of("to-first"), 0);
    EXPECT_EQ(in1.of("to-second"), 0);
    EXPECT_EQ(in2.of("to-second"), 1);
    EXPECT_EQ(in1.sender_of("limited"), "10.1.0.1");
}

TEST_F(NetbridgeLab, SendsWithItsOwnAddressAsSource) {
    add_second_addresses();
    auto secondary = make(a, "10.1.0.11", port + 1);
    auto receiver = make(b, "10.1.0.2");
    ASSERT_TRUE(secondary && receiver);
    inbox in;
    in.attach(*receiver);
    secondary->write_datagram("from-secondary", "255.255.255.255", port);
    ASSERT_TRUE(waitFor([&] { return in.of("from-secondary") == 1; }, 5000));
    EXPECT_EQ(in.sender_of("from-secondary"), "10.1.0.11");
}

TEST_F(NetbridgeLab, NothingFromOtherCards) {
    add_third_namespace();
    auto on_va = make(a, "10.1.0.1");
    auto on_wa = make(a, "10.2.0.1");
    auto from_b = make(b, "10.1.0.2", port + 1);
    auto from_c = make(c, "10.2.0.3", port + 1);
    ASSERT_TRUE(on_va && on_wa && from_b && from_c);
    inbox va, wa;
    va.attach(*on_va);
    wa.attach(*on_wa);
    from_b->write_datagram("b", "255.255.255.255", port);
    from_c->write_datagram("c", "255.255.255.255", port);
    from_c->write_datagram("c-to-va-address", "10.1.0.1", port);
    from_b->write_datagram("marker", "10.1.0.1", port);
    from_c->write_datagram("marker", "10.2.0.1", port);
    ASSERT_TRUE(waitFor([&] { return va.of("marker") == 1 && wa.of("marker") == 1; }, 5000));
    EXPECT_EQ(va.of("b"), 1);
    EXPECT_EQ(va.of("c"), 0);
    EXPECT_EQ(wa.of("b"), 0);
    EXPECT_EQ(wa.of("c"), 1);
    EXPECT_EQ(va.of("c-to-va-address"), 0) << "arrived on wa, so not for the va endpoint";
}

// What one socket receives, in order, with the sender of each.
struct journal {
    std::mutex mutex;
    std::vector<std::pair<std::string, std::string>> entries;

    void add(std::string data, std::string ip) {
        std::lock_guard<std::mutex> lock(mutex);
        entries.emplace_back(std::move(data), std::move(ip));
    }
    bool holds(const std::string& payload) {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& entry : entries) {
            if (entry.first == payload) {
                return true;
            }
        }
        return false;
    }
};

// Holds a callback until released (or ten seconds have passed).
struct gate {
    std::mutex mutex;
    std::condition_variable signal;
    bool held = false;
    bool released = false;

    void hold() {
        std::unique_lock<std::mutex> lock(mutex);
        held = true;
        signal.notify_all();
        signal.wait_for(lock, std::chrono::seconds(10), [&] { return released; });
    }
    bool wait_held() {
        std::unique_lock<std::mutex> lock(mutex);
        return signal.wait_for(lock, std::chrono::seconds(10), [&] { return held; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        signal.notify_all();
    }
};

// The receive thread is held in the first callback while the burst is sent,
// so the rest waits queued and is read in full batches: every datagram is
// delivered once, in order, with its own sender, and the ones an endpoint
// must not see are skipped in the middle of a batch.
TEST_F(NetbridgeLab, QueuedBurstIsDeliveredInOrderWithTheRulesOfEachEndpoint) {
    add_second_addresses();
    // Outlive the sockets, whose callbacks use them.
    journal open_in, quiet_in;
    gate hold;
    auto from_first = make(a, "10.1.0.1", port + 1);
    auto from_second = make(a, "10.1.0.11", port + 1);
    auto open = make(b, "10.1.0.2");
    auto quiet = make(b, "10.9.0.2");
    // Lets a held callback go before the sockets close, however the test ends.
    struct release_at_exit {
        gate& g;
        ~release_at_exit() { g.release(); }
    } release_on_exit{hold};
    ASSERT_TRUE(from_first && from_second && open && quiet);
    quiet->broadcast_enable(false);

    open->on_datagram_received([&](std::string data, std::string ip, unsigned short) {
        if (data == "first") {
            hold.hold();
        }
        open_in.add(std::move(data), std::move(ip));
    });
    quiet->on_datagram_received(
        [&](std::string data, std::string ip, unsigned short) { quiet_in.add(data, ip); });

    ASSERT_EQ(from_first->write_datagram("first", "10.1.0.2", port), 5);
    ASSERT_TRUE(hold.wait_held());

    // Several batches' worth; the senders alternate, the destinations cycle
    // through what each endpoint accepts and rejects, and one datagram of
    // the largest size UDP carries over IPv4 sits among them.
    constexpr int burst = 300;
    constexpr int largest_at = 130;
    const std::string largest(65507, 'L');
    const char* destinations[] = {"10.1.0.2", "10.9.0.2", "255.255.255.255", "10.1.0.255"};
    std::vector<std::pair<std::string, std::string>> open_expected{{"first", "10.1.0.1"}};
    std::vector<std::pair<std::string, std::string>> quiet_expected;
    for (int i = 0; i < burst; ++i) {
        auto& sender = i % 2 == 0 ? from_first : from_second;
        const std::string sender_ip = i % 2 == 0 ? "10.1.0.1" : "10.1.0.11";
        const std::string destination = destinations[i % 4];
        const std::string payload = i == largest_at ? largest : "n" + std::to_string(i);
        ASSERT_EQ(sender->write_datagram(payload, destination, port),
                  static_cast<int>(payload.size()))
            << i;
        (destination == "10.9.0.2" ? quiet_expected : open_expected)
            .emplace_back(payload, sender_ip);
    }
    ASSERT_EQ(largest_at % 4, 2) << "the largest goes out as a broadcast";
    from_first->write_datagram("marker", "10.1.0.2", port);
    from_first->write_datagram("marker", "10.9.0.2", port);
    open_expected.emplace_back("marker", "10.1.0.1");
    quiet_expected.emplace_back("marker", "10.1.0.1");
    hold.release();
    ASSERT_TRUE(
        waitFor([&] { return open_in.holds("marker") && quiet_in.holds("marker"); }, 10000));

    std::lock_guard<std::mutex> open_lock(open_in.mutex);
    std::lock_guard<std::mutex> quiet_lock(quiet_in.mutex);
    ASSERT_EQ(open_in.entries.size(), open_expected.size());
    for (std::size_t i = 0; i < open_expected.size(); ++i) {
        EXPECT_EQ(open_in.entries[i].first.size(), open_expected[i].first.size()) << i;
        EXPECT_TRUE(open_in.entries[i] == open_expected[i]) << i;
    }
    EXPECT_TRUE(quiet_in.entries == quiet_expected);
}

TEST_F(NetbridgeLab, BroadcastNeedsPermission) {
    std::unique_ptr<socket_udp_async> quiet;
    lab->inNamespace(a, [&] {
        quiet = std::make_unique<socket_udp_async>();
        ASSERT_EQ(quiet->bind("10.1.0.1", port, socket_udp_async::bind_client), 0);
    });
    ASSERT_TRUE(quiet);
    EXPECT_EQ(quiet->write_datagram("x", "255.255.255.255", port), -1);
    EXPECT_EQ(quiet->write_datagram("x", "10.1.0.255", port), -1);
    EXPECT_EQ(quiet->write_datagram("x", "10.1.0.2", port), 1);
    EXPECT_EQ(quiet->broadcast_enable(true), 0);
    EXPECT_EQ(quiet->write_datagram("x", "255.255.255.255", port), 1);
}

TEST_F(NetbridgeLab, BindingAForeignBadOrTakenAddressFailsWithItsError) {
    int result = 0;
    EXPECT_FALSE(make(a, "10.1.0.2", port, &result)) << "address of another namespace";
    EXPECT_EQ(result, EADDRNOTAVAIL);
    EXPECT_FALSE(make(a, "not-an-address", port, &result));
    EXPECT_NE(result, 0);

    auto first = make(a, "10.1.0.1");
    ASSERT_TRUE(first);
    EXPECT_FALSE(make(a, "10.1.0.1", port, &result));
    EXPECT_EQ(result, EADDRINUSE);

    // Another program's socket holding the port on every card.
    int foreign = -1;
    lab->inNamespace(b, [&] {
        foreign = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(port);
        ASSERT_EQ(::bind(foreign, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    });
    EXPECT_FALSE(make(b, "10.1.0.2", port, &result));
    EXPECT_EQ(result, EADDRINUSE);
    ::close(foreign);
    EXPECT_TRUE(make(b, "10.1.0.2", port)) << "the port is free again";
}

TEST_F(NetbridgeLab, PortIsFreeRightAfterDestruction) {
    for (int round = 0; round < 20; ++round) {
        auto socket = make(a, "10.1.0.1");
        ASSERT_TRUE(socket) << "round " << round;
    }
}

TEST_F(NetbridgeLab, AnyAddressReceivesFromEveryCard) {
    add_third_namespace();
    auto any = make(a, "0.0.0.0");
    auto from_b = make(b, "10.1.0.2", port + 1);
    auto from_c = make(c, "10.2.0.3", port + 1);
    ASSERT_TRUE(any && from_b && from_c);
    inbox in;
    in.attach(*any);
    from_b->write_datagram("b", "10.1.0.1", port);
    from_c->write_datagram("c", "255.255.255.255", port);
    EXPECT_TRUE(waitFor([&] { return in.of("b") == 1 && in.of("c") == 1; }, 5000));
}

TEST_F(NetbridgeLab, LoopbackWorksAsACard) {
    auto one = make(a, "127.0.0.1", port);
    auto two = make(a, "127.0.0.1", port + 1);
    ASSERT_TRUE(one && two);
    inbox in;
    in.attach(*two);
    EXPECT_EQ(one->write_datagram("unicast", "127.0.0.1", port + 1), 7);
    EXPECT_EQ(one->write_datagram("broadcast", "255.255.255.255", port + 1), 9);
    EXPECT_TRUE(waitFor([&] { return in.of("unicast") == 1 && in.of("broadcast") == 1; }, 5000));
    EXPECT_EQ(in.sender_of("unicast"), "127.0.0.1");
}

TEST_F(NetbridgeLab, NoCallbackAfterDestruction) {
    auto receiver = make(b, "10.1.0.2");
    auto sender = make(a, "10.1.0.1", port + 1);
    ASSERT_TRUE(receiver && sender);
    std::atomic<bool> gone{false};
    std::atomic<int> late{0};
    std::atomic<int> received{0};
    receiver->on_datagram_received([&](std::string, std::string, unsigned short) {
        if (gone) {
            ++late;
        }
        ++received;
    });
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        for (int i = 0; i < 200000 && !stop; ++i) {
            sender->write_datagram("flood", "10.1.0.2", port);
        }
    });
    EXPECT_TRUE(waitFor([&] { return received > 100; }, 5000));
    receiver.reset();
    gone = true;
    const int at_destruction = received;
    stop = true;
    flood.join();
    EXPECT_EQ(late, 0);
    EXPECT_EQ(received, at_destruction);
}

TEST_F(NetbridgeLab, SocketMayBeDestroyedFromItsOwnCallback) {
    auto receiver = make(b, "10.1.0.2");
    auto sender = make(a, "10.1.0.1", port + 1);
    ASSERT_TRUE(receiver && sender);
    std::atomic<int> calls{0};
    socket_udp_async* raw = receiver.release();
    raw->on_datagram_received([&](std::string, std::string, unsigned short) {
        if (calls++ == 0) {
            delete raw;
        }
    });
    sender->write_datagram("one", "10.1.0.2", port);
    sender->write_datagram("two", "10.1.0.2", port);
    ASSERT_TRUE(waitFor([&] { return calls >= 1; }, 5000));
    // The port comes free once the receive thread has wound down.
    EXPECT_TRUE(waitFor(
        [&] {
            int result = 0;
            auto again = make(b, "10.1.0.2", port, &result);
            return again != nullptr;
        },
        5000));
    EXPECT_EQ(calls, 1);
}

}  // namespace
