#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "web/SocketOwner.h"

namespace {

using webaccess::SocketEnd;
using webaccess::socketOwnerIn;

// As this machine's kernel writes them (little-endian words).
const QByteArray tcp =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout "
    "inode\n"
    "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 "
    "100 1 0000000000000000 100 0 0 10 0\n"
    "   1: 0100007F:D431 0100007F:1F90 01 00000000:00000000 00:00000000 00000000  1001        0 "
    "101 1 0000000000000000 20 4 30 10 -1\n"
    "   2: 0100007F:1F90 0100007F:D431 01 00000000:00000000 00:00000000 00000000  1000        0 "
    "102 1 0000000000000000 20 4 30 10 -1\n"
    "   3: 0100007F:D432 0100007F:1F90 06 00000000:00000000 03:00000E8F 00000000     0        0 "
    "0 3 0000000000000000\n"
    "   4: 0200000A:C000 0100000A:1F90 01 00000000:00000000 00:00000000 00000000  1002        0 "
    "103 1 0000000000000000 20 4 30 10 -1\n";

const QByteArray tcp6 =
    "  sl  local_address                         remote_address                        st "
    "tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
    "   0: 00000000000000000000000001000000:D431 00000000000000000000000001000000:1F90 01 "
    "00000000:00000000 00:00000000 00000000  1003        0 200 1 0000000000000000 20 4 0 10 -1\n"
    "   1: 0000000000000000FFFF00000100007F:D433 0000000000000000FFFF00000100007F:1F90 01 "
    "00000000:00000000 00:00000000 00000000  1004        0 201 1 0000000000000000 20 4 0 10 -1\n";

SocketEnd end(const char* address, quint16 port) {
    return {QHostAddress(QString::fromLatin1(address)), port};
}

struct OwnerCase {
    const char* name;
    const QByteArray* table;
    SocketEnd local;
    SocketEnd remote;
    std::optional<uint> uid;
};

class SocketTable : public ::testing::TestWithParam<OwnerCase> {};

TEST_P(SocketTable, NamesTheOwnerOfExactlyThatConnection) {
    const OwnerCase& c = GetParam();
    EXPECT_EQ(socketOwnerIn(*c.table, c.local, c.remote), c.uid);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SocketTable,
    ::testing::Values(
        OwnerCase{"BrowserOfAnotherUser", &tcp, end("127.0.0.1", 54321), end("127.0.0.1", 8080),
                  1001u},
        OwnerCase{"AnyServerAddress", &tcp, end("127.0.0.1", 54321), SocketEnd{{}, 8080}, 1001u},
        OwnerCase{"OurOwnEndOfIt", &tcp, end("127.0.0.1", 8080), end("127.0.0.1", 54321), 1000u},
        OwnerCase{"OtherServerPort", &tcp, end("127.0.0.1", 54321), end("127.0.0.1", 9090),
                  std::nullopt},
        OwnerCase{"OtherPeerPort", &tcp, end("127.0.0.1", 54320), SocketEnd{{}, 8080},
                  std::nullopt},
        OwnerCase{"TimeWaitHasNoOwner", &tcp, end("127.0.0.1", 54322), SocketEnd{{}, 8080},
                  std::nullopt},
        OwnerCase{"OtherAddresses", &tcp, end("10.0.0.2", 49152), end("10.0.0.1", 8080), 1002u},
        OwnerCase{"IPv6Loopback", &tcp6, end("::1", 54321), end("::1", 8080), 1003u},
        OwnerCase{"IPv4MappedInTcp6", &tcp6, end("127.0.0.1", 54323), SocketEnd{{}, 8080}, 1004u},
        OwnerCase{"IPv4NotInTcp6", &tcp6, end("127.0.0.1", 54321), SocketEnd{{}, 8080},
                  std::nullopt}),
    [](const ::testing::TestParamInfo<OwnerCase>& info) { return std::string(info.param.name); });

TEST(SocketTable, SkipsRowsThatDoNotParse) {
    const QByteArray broken =
        "   0: 0100007G:D431 0100007F:1F90 01 0:0 00:0 0 1005 0 1\n"
        "   1: 0100007F:D431 0100007F:1F90 01\n"
        "   2: 0100007F:D431:00 0100007F:1F90 01 0:0 00:0 0 1006 0 1\n"
        "   3: 0100007F:D431 0100007F:1F90 01 0:0 00:0 0 notanumber 0 1\n"
        "   4: 0100007F:D431 0100007F:1F90 01 0:0 00:0 0 1007 0 1\n";
    EXPECT_EQ(socketOwnerIn(broken, end("127.0.0.1", 54321), SocketEnd{{}, 8080}), 1007u);
}

TEST(SocketTable, TheLiveTablesNameUsAsTheOwnerOfOurOwnConnection) {
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(server, 0);
    ASSERT_GE(client, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(server, 1), 0);
    ASSERT_EQ(::getsockname(server, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const quint16 serverPort = ntohs(address.sin_port);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    sockaddr_in clientAddress{};
    length = sizeof clientAddress;
    ASSERT_EQ(::getsockname(client, reinterpret_cast<sockaddr*>(&clientAddress), &length), 0);
    const quint16 clientPort = ntohs(clientAddress.sin_port);

    EXPECT_EQ(webaccess::socketOwner(end("127.0.0.1", clientPort), SocketEnd{{}, serverPort}),
              ::getuid());
    EXPECT_FALSE(webaccess::socketOwner(end("127.0.0.1", clientPort), SocketEnd{{}, 1}));
    ::close(client);
    ::close(server);
}

}  // namespace
