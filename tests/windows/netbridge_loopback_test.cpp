// netbridge's Winsock endpoints on loopback: what wine can show of them.
// Broadcast per card and the choice of card need a real Windows PC with two
// cards (docs/windows.md).
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "netbridge/socket_udp_async.h"

namespace {

using netbridge::socket_udp_async;

constexpr unsigned short port_a = 45101;
constexpr unsigned short port_b = 45102;

struct inbox {
    std::mutex mutex;
    std::condition_variable arrived;
    std::map<std::string, int> count;
    std::map<std::string, std::string> sender;
    std::map<std::string, unsigned short> sender_port;

    void attach(socket_udp_async& socket) {
        socket.on_datagram_received([this](std::string data, std::string ip, unsigned short port) {
            std::lock_guard<std::mutex> lock(mutex);
            ++count[data];
            sender[data] = ip;
            sender_port[data] = port;
            arrived.notify_all();
        });
    }
    // Waits (generously: wine can be slow to start threads) for payload.
    bool wait_for(const std::string& payload) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(20), [&] { return count[payload] > 0; });
    }
};

std::unique_ptr<socket_udp_async> bound(const std::string& ip, unsigned short port) {
    auto socket = std::make_unique<socket_udp_async>();
    socket->broadcast_enable(true);
    if (socket->bind(ip, port, socket_udp_async::bind_client) != 0) {
        return nullptr;
    }
    return socket;
}

TEST(NetbridgeWindows, UnicastArrivesWithTheSendersAddressAndPort) {
    inbox received;
    auto a = bound("127.0.0.1", port_a);
    auto b = bound("127.0.0.1", port_b);
    ASSERT_TRUE(a && b);
    received.attach(*b);
    const std::string payload(1400, 'x');
    ASSERT_EQ(a->write_datagram(payload, "127.0.0.1", port_b), 1400);
    ASSERT_TRUE(received.wait_for(payload));
    std::lock_guard<std::mutex> lock(received.mutex);
    EXPECT_EQ(received.sender[payload], "127.0.0.1");
    EXPECT_EQ(received.sender_port[payload], port_a);
    EXPECT_EQ(received.count[payload], 1);
}

TEST(NetbridgeWindows, AnEndpointOnEveryAddressReceivesUnicast) {
    inbox received;
    auto any = bound("0.0.0.0", port_b);
    auto a = bound("127.0.0.1", port_a);
    ASSERT_TRUE(any && a);
    received.attach(*any);
    ASSERT_EQ(a->write_datagram("to-any", "127.0.0.1", port_b), 6);
    EXPECT_TRUE(received.wait_for("to-any"));
}

TEST(NetbridgeWindows, BindRefusesWhatLinuxRefuses) {
    socket_udp_async socket;
    EXPECT_EQ(socket.bind("not an address", port_a, socket_udp_async::bind_client), EINVAL);
    // TEST-NET-3: never a local address.
    EXPECT_EQ(socket.bind("203.0.113.7", port_a, socket_udp_async::bind_client), EADDRNOTAVAIL);
    ASSERT_EQ(socket.bind("127.0.0.1", port_a, socket_udp_async::bind_client), 0);
    EXPECT_EQ(socket.bind("127.0.0.1", port_b, socket_udp_async::bind_client), EINVAL);

    socket_udp_async same;
    EXPECT_EQ(same.bind("127.0.0.1", port_a, socket_udp_async::bind_client), EADDRINUSE);
    socket_udp_async every;
    EXPECT_EQ(every.bind("0.0.0.0", port_a, socket_udp_async::bind_client), EADDRINUSE);
}

TEST(NetbridgeWindows, ThePortIsFreeAsSoonAsTheLastEndpointIsGone) {
    for (int round = 0; round < 3; ++round) {
        auto socket = bound("127.0.0.1", port_a);
        ASSERT_TRUE(socket) << "round " << round;
    }
}

TEST(NetbridgeWindows, BroadcastNeedsPermissionAndUnboundSendsFail) {
    socket_udp_async unbound;
    errno = 0;
    EXPECT_EQ(unbound.write_datagram("x", "127.0.0.1", port_b), -1);
    EXPECT_EQ(errno, ENOTCONN);

    socket_udp_async socket;
    ASSERT_EQ(socket.bind("127.0.0.1", port_a, socket_udp_async::bind_client), 0);
    socket.broadcast_enable(false);
    errno = 0;
    EXPECT_EQ(socket.write_datagram("x", "255.255.255.255", port_b), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(socket.write_datagram("x", "300.1.1.1", port_b), -1);
}

TEST(NetbridgeWindows, NoCallbackRunsAfterTheSocketIsDestroyed) {
    auto sender = bound("127.0.0.1", port_a);
    ASSERT_TRUE(sender);
    auto count = std::make_shared<std::atomic<int>>(0);
    {
        inbox first;
        auto receiver = bound("127.0.0.1", port_b);
        ASSERT_TRUE(receiver);
        first.attach(*receiver);
        receiver->on_datagram_received(
            [count, &first](std::string data, std::string, unsigned short) {
                ++*count;
                std::lock_guard<std::mutex> lock(first.mutex);
                ++first.count[data];
                first.arrived.notify_all();
            });
        ASSERT_GT(sender->write_datagram("before", "127.0.0.1", port_b), 0);
        ASSERT_TRUE(first.wait_for("before"));
    }
    const int seen = count->load();
    // Nothing listens now: a later receiver on the port sees the datagram,
    // the destroyed one does not.
    inbox second;
    auto again = bound("127.0.0.1", port_b);
    ASSERT_TRUE(again);
    second.attach(*again);
    ASSERT_GT(sender->write_datagram("after", "127.0.0.1", port_b), 0);
    ASSERT_TRUE(second.wait_for("after"));
    EXPECT_EQ(count->load(), seen);
}

}  // namespace
