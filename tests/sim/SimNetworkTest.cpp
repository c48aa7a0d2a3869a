// lanfinder-sim as a separate process in a network namespace of its own,
// questioned by the library in client mode from a "PC" namespace, the way
// lanfinder questions real devices.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include <beacon/beacon.h>

#include "LabCheck.h"
#include "NetLab.h"
#include "TextFile.h"
#include "fleet_file.h"
#include "simulator.h"

using namespace std::chrono_literals;
using sdk::system::network_method_type;
using sdk::system::operation_result;
using testsupport::NetLab;
using testsupport::readText;
using testsupport::waitFor;

namespace {

std::string sim_path() {
    return testsupport::buildDir() + "/bin/lanfinder-sim";
}

// Runs a command without any network use and returns its standard output.
std::string capture(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        return out;
    }
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) {
        out.append(buf, n);
    }
    pclose(p);
    return out;
}

const char* const fleet_args = "--count 6 --seed 5 --with-credentials 1 --outside 1";

class SimulatorOnTheWire : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!NetLab::available(&why)) {
            GTEST_SKIP() << why;
        }
        pc_ = lab_.addNamespace("pc");
        dev_ = lab_.addNamespace("dev");
        // The PC has one address on the devices' subnet and, on the same
        // wire, one on another subnet: answers to the latter are broadcast.
        lab_.link(pc_, "lan1", "10.77.1.1/24", dev_, "eth0", "10.77.1.2/24");
        lab_.ip(pc_, "addr add 10.77.9.1/24 dev lan1");
    }

    void TearDown() override {
        if (!log_.empty() && !HasFailure()) {
            std::remove(log_.c_str());
        }
    }

    void start_sim(const std::string& extra = "",
                   const std::string& where = "--card 10.77.1.2/24") {
        log_ = ::testing::TempDir() + "/sim-" + lab_.prefix() + ".log";
        std::vector<std::string> argv = {sim_path(), "--duration", "90"};
        std::istringstream place(where);
        for (std::string w; place >> w;) {
            argv.push_back(w);
        }
        std::istringstream words(std::string(fleet_args) + " " + extra);
        for (std::string w; words >> w;) {
            argv.push_back(w);
        }
        pid_ = lab_.spawn(dev_, argv, {}, log_);
        ASSERT_TRUE(testsupport::waitForText(log_, "lanfinder-sim: ready", 10000))
            << readText(log_);
    }

    std::vector<sim::device_profile> expected_fleet() {
        return sim::parse_fleet(
            capture(sim_path() + " --dump-fleet --subnet 10.77.1.0/24 " + fleet_args));
    }

    // In the PC namespace: one client-mode engine on the given card address.
    void as_pc(const std::string& card, const std::function<void(dp::idevice_protocol&)>& fn) {
        lab_.inNamespace(pc_, [&] {
            auto engine = dp::device_protocol::instance(
                dp::device_protocol::client, {{card, "255.255.255.0", "02:00:00:00:00:01"}});
            fn(*engine);
        });
    }

    NetLab lab_;
    std::string pc_;
    std::string dev_;
    std::string log_;
    pid_t pid_ = -1;
};

// Collects discovery answers until `count` distinct devices answered or time is up.
std::map<std::string, dp::discovery_response> discover(dp::idevice_protocol& engine,
                                                       std::size_t count,
                                                       std::chrono::milliseconds within = 3000ms) {
    std::map<std::string, dp::discovery_response> seen;
    engine.send_discovery_request();
    auto deadline = std::chrono::steady_clock::now() + within;
    while (seen.size() < count && std::chrono::steady_clock::now() < deadline) {
        auto e = engine.get_next_event(10);
        if (e && static_cast<int>(e->message->type_of_service()) == 1) {
            auto& r = static_cast<dp::discovery_response&>(*e->message);
            seen.emplace(r.article_number() + "_" + r.serial_number(), r);
        }
    }
    return seen;
}

template <typename Response>
std::optional<operation_result> await_result(dp::idevice_protocol& engine, int kind,
                                             std::chrono::milliseconds within = 3000ms) {
    auto deadline = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < deadline) {
        auto e = engine.get_next_event(10);
        if (e && static_cast<int>(e->message->type_of_service()) == kind) {
            return static_cast<Response&>(*e->message).result();
        }
    }
    return std::nullopt;
}

std::optional<operation_result> configure(dp::idevice_protocol& engine,
                                          const sim::device_profile& d, const std::string& ip,
                                          const std::string& name, const std::string& user = "",
                                          const std::string& password = "") {
    engine.send_configuration_request(d.article_number, d.serial_number, ip, d.mask, d.gateway,
                                      name, d.method, user, password);
    return await_result<dp::configuration_response>(engine, 3);
}

const sim::device_profile* with_credentials(const std::vector<sim::device_profile>& fleet) {
    for (const auto& d : fleet) {
        if (d.authentication) {
            return &d;
        }
    }
    return nullptr;
}

const sim::device_profile* plain_inside(const std::vector<sim::device_profile>& fleet) {
    for (const auto& d : fleet) {
        if (!d.authentication && d.ip.rfind("10.77.1.", 0) == 0 &&
            d.method == network_method_type::PERSISTENT_IP) {
            return &d;
        }
    }
    return nullptr;
}

}  // namespace

TEST_F(SimulatorOnTheWire, EveryDeviceAnswersWithItsFullDescription) {
    start_sim();
    auto fleet = expected_fleet();
    ASSERT_EQ(fleet.size(), 6u);
    as_pc("10.77.1.1", [&](dp::idevice_protocol& engine) {
        auto seen = discover(engine, fleet.size());
        ASSERT_EQ(seen.size(), fleet.size());
        for (const auto& d : fleet) {
            auto it = seen.find(d.article_number + "_" + d.serial_number);
            ASSERT_NE(it, seen.end()) << d.article_number << "_" << d.serial_number;
            auto expected = sim::describe(d);
            expected.set_request_id(it->second.request_id());
            EXPECT_TRUE(it->second == expected) << d.serial_number;
            EXPECT_EQ(it->second.manufacture_date(), d.manufacture_date);
        }
    });
}

TEST_F(SimulatorOnTheWire, EachRequestIsAnsweredOncePerDevice) {
    start_sim();
    as_pc("10.77.1.1", [&](dp::idevice_protocol& engine) {
        std::map<std::string, int> per_request;
        for (int i = 0; i < 3; ++i) {
            engine.send_discovery_request();
        }
        auto deadline = std::chrono::steady_clock::now() + 3s;
        int total = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            auto e = engine.get_next_event(10);
            if (e && static_cast<int>(e->message->type_of_service()) == 1) {
                ++per_request[e->message->request_id()];
                ++total;
            }
        }
        EXPECT_EQ(per_request.size(), 3u);
        for (const auto& [id, n] : per_request) {
            EXPECT_EQ(n, 6) << id;
        }
        EXPECT_EQ(total, 18);
    });
}

TEST_F(SimulatorOnTheWire, RequesterOutsideTheSubnetIsAnsweredByBroadcast) {
    start_sim();
    as_pc("10.77.9.1",
          [&](dp::idevice_protocol& engine) { EXPECT_EQ(discover(engine, 6).size(), 6u); });
}

TEST_F(SimulatorOnTheWire, AddressChangeIsAcceptedThenSilentThenNew) {
    start_sim("--reboot-time 1.5");
    auto fleet = expected_fleet();
    const auto* d = plain_inside(fleet);
    ASSERT_NE(d, nullptr);
    std::string id = d->article_number + "_" + d->serial_number;
    as_pc("10.77.1.1", [&](dp::idevice_protocol& engine) {
        EXPECT_EQ(configure(engine, *d, "10.77.1.200", "Moved"), operation_result::ACCEPTED);
        auto during = discover(engine, 6, 800ms);
        EXPECT_EQ(during.count(id), 0u);
        EXPECT_EQ(during.size(), 5u);
        ASSERT_TRUE(waitFor(
            [&] {
                auto seen = discover(engine, 6, 500ms);
                return seen.count(id) && seen.at(id).ip() == "10.77.1.200";
            },
            5000));
        auto after = discover(engine, 6);
        EXPECT_EQ(after.at(id).user_defined_name(), "Moved");
        EXPECT_EQ(after.at(id).device_url(), "http://10.77.1.200/");
    });
}

TEST_F(SimulatorOnTheWire, RequestsAreJudgedLikeARealDevice) {
    start_sim();
    auto fleet = expected_fleet();
    const auto* locked = with_credentials(fleet);
    const auto* plain = plain_inside(fleet);
    ASSERT_NE(locked, nullptr);
    ASSERT_NE(plain, nullptr);
    as_pc("10.77.1.1", [&](dp::idevice_protocol& engine) {
        EXPECT_EQ(configure(engine, *locked, locked->ip, "x", "admin", "wrong"),
                  operation_result::NOT_AUTHORIZED);
        EXPECT_EQ(configure(engine, *plain, "127.0.0.9", plain->name),
                  operation_result::RESERVED_IP);
        EXPECT_EQ(configure(engine, *locked, locked->ip, "Renamed", sim::generated_username,
                            sim::generated_password),
                  operation_result::ACCEPTED);
        std::string id = locked->article_number + "_" + locked->serial_number;
        // A name alone is taken at once: the next answer already carries it.
        auto seen = discover(engine, 6);
        ASSERT_EQ(seen.count(id), 1u);
        EXPECT_EQ(seen.at(id).user_defined_name(), "Renamed");

        engine.send_localize_request(plain->article_number, plain->serial_number, "", "");
        auto localize = await_result<dp::localize_response>(engine, 5);
        if (plain->has_capability(sdk::system::capabilities::SUPPORTS_LOCALIZE)) {
            EXPECT_EQ(localize, operation_result::ACCEPTED);
            auto now = discover(engine, 6);
            EXPECT_EQ(now.at(plain->article_number + "_" + plain->serial_number).state(),
                      DeviceAdministrationFbbApi::DeviceState::DeviceState_LOCALIZE);
        } else {
            EXPECT_EQ(localize, operation_result::NOT_SUPPORTED);
        }
    });
}

TEST_F(SimulatorOnTheWire, TotalLossMeansSilenceButRequestsAreStillCounted) {
    start_sim("--loss 1");
    as_pc("10.77.1.1",
          [&](dp::idevice_protocol& engine) { EXPECT_TRUE(discover(engine, 1, 1500ms).empty()); });
    kill(pid_, SIGTERM);
    EXPECT_EQ(NetLab::waitExit(pid_, 5000), 0);
    EXPECT_NE(readText(log_).find("0 answers sent"), std::string::npos) << readText(log_);
}

TEST_F(SimulatorOnTheWire, InterfaceOptionAnswersOnEveryAddressOfTheCard) {
    lab_.ip(dev_, "addr add 10.77.9.2/24 dev eth0");
    start_sim("", "--interface eth0");
    EXPECT_NE(readText(log_).find("answering on 10.77.1.2/24 10.77.9.2/24"), std::string::npos)
        << readText(log_);
    as_pc("10.77.1.1",
          [&](dp::idevice_protocol& engine) { EXPECT_EQ(discover(engine, 6).size(), 6u); });
}

TEST_F(SimulatorOnTheWire, JitterSpreadsTheAnswersOverItsWindow) {
    start_sim("--count 30 --jitter 1000");
    as_pc("10.77.1.1", [&](dp::idevice_protocol& engine) {
        auto sent = std::chrono::steady_clock::now();
        engine.send_discovery_request();
        std::vector<std::chrono::steady_clock::time_point> arrivals;
        while (arrivals.size() < 30 && std::chrono::steady_clock::now() - sent < 5s) {
            auto e = engine.get_next_event(10);
            if (e && static_cast<int>(e->message->type_of_service()) == 1) {
                arrivals.push_back(std::chrono::steady_clock::now());
            }
        }
        ASSERT_EQ(arrivals.size(), 30u);
        EXPECT_GE(arrivals.back() - arrivals.front(), 300ms);
        EXPECT_LE(arrivals.back() - sent, 3s);
    });
}

TEST_F(SimulatorOnTheWire, ALargeFleetAnswersInFull) {
    start_sim("--count 3000 --subnet 10.77.0.0/16 --start 10.77.100.1 --jitter 500");
    as_pc("10.77.1.1", [&](dp::idevice_protocol& engine) {
        EXPECT_EQ(discover(engine, 3000, 10000ms).size(), 3000u);
    });
}

TEST(SimulatorSafety, RefusesTheMachinesOwnCards) {
    // Checked before any socket is opened, so this is safe to run here.
    std::string out = capture(sim_path() + " --card 10.99.99.2/24 --duration 1 2>&1; echo exit=$?");
    EXPECT_NE(out.find("refusing"), std::string::npos) << out;
    EXPECT_NE(out.find("exit=2"), std::string::npos) << out;
}
