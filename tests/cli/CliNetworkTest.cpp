// lanfinder-cli as its users run it, in a "PC" namespace of a private lab,
// against lanfinder-sim answering for a small fleet in a "devices"
// namespace on the same wire.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "LabCheck.h"
#include "NetLab.h"
#include "RequestSniffer.h"
#include "TextFile.h"

using testsupport::buildDir;
using testsupport::NetLab;
using testsupport::readText;
using testsupport::RequestSniffer;
using testsupport::waitFor;
using testsupport::writeText;

namespace {

std::string quoted(const std::string& word) {
    std::string out = "'";
    for (char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// Mixed-case serial numbers check that ids match in any case.
const char* const fleet = R"({"devices": [
  {"articleNumber": "1010101", "serialNumber": "Plain01", "userDefinedName": "Infeed sensor",
   "ip": "10.77.1.10", "mask": "255.255.255.0", "gateway": "10.77.1.1",
   "method": "PERSISTENT_IP", "capabilities": 11, "mac": "02:4c:46:00:00:01"},
  {"articleNumber": "1020202", "serialNumber": "Lock02", "userDefinedName": "Locked reader",
   "ip": "10.77.1.11", "mask": "255.255.255.0", "gateway": "10.77.1.1",
   "method": "PERSISTENT_IP", "capabilities": 11, "mac": "02:4c:46:00:00:02",
   "authentication": true, "username": "admin", "password": "vostrel"},
  {"articleNumber": "1030303", "serialNumber": "NoLoc03", "userDefinedName": "Old camera",
   "ip": "10.77.1.12", "mask": "255.255.255.0", "gateway": "0.0.0.0",
   "method": "DHCP", "capabilities": 3, "mac": "02:4c:46:00:00:03"},
  {"articleNumber": "1040404", "serialNumber": "Move04", "userDefinedName": "Palletizer",
   "ip": "10.77.1.13", "mask": "255.255.255.0", "gateway": "10.77.1.1",
   "method": "PERSISTENT_IP", "capabilities": 11, "mac": "02:4c:46:00:00:04"},
  {"articleNumber": "1050505", "serialNumber": "Dhcp05", "userDefinedName": "Labeler",
   "ip": "10.77.1.14", "mask": "255.255.255.0", "gateway": "10.77.1.1",
   "method": "PERSISTENT_IP", "capabilities": 11, "mac": "02:4c:46:00:00:05"}
]})";

const std::set<std::string> fleet_ids = {"1010101_plain01", "1020202_lock02", "1030303_noloc03",
                                         "1040404_move04", "1050505_dhcp05"};

struct cli_run {
    int code = -1;
    std::string out;
    std::string err;
};

std::vector<nlohmann::json> json_lines(const std::string& text) {
    std::vector<nlohmann::json> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(nlohmann::json::parse(line));
    }
    return out;
}

class CliOnTheWire : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!NetLab::available(&why)) {
            GTEST_SKIP() << "needs private network namespaces: " << why;
        }
        pc_ = lab_.addNamespace("pc");
        dev_ = lab_.addNamespace("dev");
        lab_.link(pc_, "lan1", "10.77.1.1/24", dev_, "eth0", "10.77.1.2/24");
        files_ = ::testing::TempDir() + "/cli-" + lab_.prefix();
    }

    void start_sim() {
        writeText(files_ + "-fleet.json", fleet);
        const std::string log = files_ + "-sim.log";
        lab_.spawn(dev_,
                   {buildDir() + "/bin/lanfinder-sim", "--card", "10.77.1.2/24", "--fleet",
                    files_ + "-fleet.json", "--reboot-time", "2", "--localize-time", "2",
                    "--duration", "110"},
                   {}, log);
        ASSERT_TRUE(testsupport::waitForText(log, "lanfinder-sim: ready", 15000)) << readText(log);
    }

    // Runs the program in the PC namespace with `input` on its standard input.
    cli_run run(const std::vector<std::string>& args, const std::string& input = "",
                int timeout_ms = 40000) {
        const std::string base = files_ + "-run" + std::to_string(++runs_);
        writeText(base + ".in", input);
        std::string command = "exec " + quoted(buildDir() + "/bin/lanfinder-cli");
        for (const auto& a : args) {
            command += " " + quoted(a);
        }
        command += " <" + quoted(base + ".in") + " >" + quoted(base + ".out") + " 2>" +
                   quoted(base + ".err");
        const pid_t pid = lab_.spawn(pc_, {"/bin/sh", "-c", command});
        cli_run r;
        r.code = NetLab::waitExit(pid, timeout_ms);
        if (r.code == -1) {
            ::kill(pid, SIGKILL);
            NetLab::waitExit(pid, 5000);
        }
        r.out = readText(base + ".out");
        r.err = readText(base + ".err");
        return r;
    }

    std::map<std::string, nlohmann::json> scan_json() {
        const auto r = run({"scan", "--json", "--timeout", "2"});
        EXPECT_EQ(r.code, 0) << r.err;
        std::map<std::string, nlohmann::json> by_id;
        for (const auto& j : json_lines(r.out)) {
            by_id[j.at("id").get<std::string>()] = j;
        }
        return by_id;
    }

    NetLab lab_;
    std::string pc_;
    std::string dev_;
    std::string files_;
    int runs_ = 0;
};

TEST_F(CliOnTheWire, ScanListsTheWholeFleetInATable) {
    start_sim();
    const auto r = run({"scan", "--timeout", "2"});
    ASSERT_EQ(r.code, 0) << r.err;
    // One heading, one row per device, and nothing of the library's own chatter.
    std::istringstream rows(r.out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(rows, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 6u) << r.out;
    EXPECT_EQ(lines[0].rfind("ARTICLE", 0), 0u);
    for (const char* expected : {"Plain01", "Lock02", "NoLoc03", "Move04", "Dhcp05",
                                 "Infeed sensor", "10.77.1.13", "PersistentIP", "lan1"}) {
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    }
    EXPECT_EQ(r.out.find("Sent "), std::string::npos);
    EXPECT_EQ(r.out.find("Bind successfully"), std::string::npos);
}

TEST_F(CliOnTheWire, ScanJsonLinesParseWithIdentityAddressesAndCard) {
    start_sim();
    const auto devices = scan_json();
    std::set<std::string> ids;
    for (const auto& [id, j] : devices) {
        ids.insert(id);
    }
    EXPECT_EQ(ids, fleet_ids);
    ASSERT_EQ(devices.count("1020202_lock02"), 1u);
    const auto& locked = devices.at("1020202_lock02");
    EXPECT_EQ(locked["articleNumber"], "1020202");
    EXPECT_EQ(locked["serialNumber"], "Lock02");
    EXPECT_EQ(locked["ip"], "10.77.1.11");
    EXPECT_EQ(locked["subnetMask"], "255.255.255.0");
    EXPECT_EQ(locked["isAuthentication"], true);
    EXPECT_EQ(locked["card"], "lan1");
    EXPECT_EQ(locked["cardIp"], "10.77.1.1");
    EXPECT_EQ(devices.at("1030303_noloc03")["networkMethod"], "DHCP");
    EXPECT_EQ(devices.at("1030303_noloc03")["supportsLocalize"], false);
}

TEST_F(CliOnTheWire, ScanWithoutDevicesSaysSoAndExitsThree) {
    const auto r = run({"scan", "--timeout", "0.5"});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find("no device answered"), std::string::npos) << r.err;
}

TEST_F(CliOnTheWire, SetAddressWaitsForTheRebootAndTheNewSettingsShow) {
    start_sim();
    const auto r = run({"set", "1040404_MOVE04", "--ip", "10.77.1.200", "--gateway", "10.77.1.254",
                        "--wait-reboot", "--reboot-timeout", "30"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Configuration accepted"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Configuration changed successfully (10.77.1.200"), std::string::npos)
        << r.out;
    const auto devices = scan_json();
    ASSERT_EQ(devices.count("1040404_move04"), 1u);
    const auto& moved = devices.at("1040404_move04");
    EXPECT_EQ(moved["ip"], "10.77.1.200");
    EXPECT_EQ(moved["defaultGateway"], "10.77.1.254");
    // Left out: kept as they were.
    EXPECT_EQ(moved["subnetMask"], "255.255.255.0");
    EXPECT_EQ(moved["name"], "Palletizer");
    EXPECT_EQ(moved["networkMethod"], "PersistentIP");
}

TEST_F(CliOnTheWire, SetDhcpWaitsUntilTheDeviceUsesDhcp) {
    start_sim();
    const auto r =
        run({"set", "1050505_dhcp05", "--dhcp", "--wait-reboot", "--reboot-timeout", "30"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Configuration changed successfully"), std::string::npos) << r.out;
    EXPECT_EQ(scan_json().at("1050505_dhcp05")["networkMethod"], "DHCP");
}

TEST_F(CliOnTheWire, WrongPasswordIsNotAuthorizedAndExitsOne) {
    start_sim();
    const auto r =
        run({"set", "1020202_lock02", "--name", "Renamed", "--user", "admin", "--password-stdin"},
            "not-the-password\n");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.out, "Not authorized\n");
    EXPECT_EQ(scan_json().at("1020202_lock02")["name"], "Locked reader");
}

TEST_F(CliOnTheWire, MissingCredentialsAreNotAuthorizedWithAHint) {
    start_sim();
    const auto r = run({"set", "1020202_lock02", "--name", "Renamed"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "Not authorized\n");
    EXPECT_NE(r.err.find("give --user"), std::string::npos) << r.err;
}

TEST_F(CliOnTheWire, RightPasswordFromStdinRenamesAtOnce) {
    start_sim();
    const auto r = run({"set", "1020202_lock02", "--name", "Renamed reader", "--user", "admin",
                        "--password-stdin"},
                       "vostrel\r\n");
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Configuration changed successfully\n");
    const auto devices = scan_json();
    EXPECT_EQ(devices.at("1020202_lock02")["name"], "Renamed reader");
    EXPECT_EQ(devices.at("1020202_lock02")["ip"], "10.77.1.11");
}

TEST_F(CliOnTheWire, ReservedAddressIsTheDevicesErrorAndExitsOne) {
    start_sim();
    const auto r = run({"set", "1010101_plain01", "--ip", "10.77.1.255"});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.out.find("Reserved IP"), std::string::npos) << r.out;
}

TEST_F(CliOnTheWire, LocalizeIsAcceptedOrNotSupported) {
    start_sim();
    const auto yes = run({"localize", "1010101_PLAIN01"});
    EXPECT_EQ(yes.code, 0) << yes.err;
    EXPECT_EQ(yes.out, "Device is localizing\n");
    const auto no = run({"localize", "1030303_noloc03"});
    EXPECT_EQ(no.code, 1) << no.err;
    EXPECT_EQ(no.out, "Localize is not supported\n");
}

TEST_F(CliOnTheWire, CredentialsGoOutOfTheDevicesCardOnly) {
    start_sim();
    const std::string office = lab_.addNamespace("office");
    lab_.link(pc_, "lan2", "10.78.1.1/24", office, "eth0", "10.78.1.2/24");
    RequestSniffer sniffer(lab_, office);
    ASSERT_TRUE(sniffer.bound());

    const auto localize =
        run({"localize", "1020202_lock02", "--user", "admin", "--password-stdin"}, "vostrel\n");
    EXPECT_EQ(localize.code, 0) << localize.err;
    EXPECT_EQ(localize.out, "Device is localizing\n");
    const auto rename = run({"set", "1010101_plain01", "--name", "Infeed left"});
    EXPECT_EQ(rename.code, 0) << rename.err;

    // The scans before each request went out of every card, so the office
    // network does hear the PC: only the requests with credentials stay away.
    ASSERT_TRUE(waitFor(
        [&] {
            sniffer.drain();
            return sniffer.other_requests > 0;
        },
        5000));
    sniffer.drain();
    EXPECT_EQ(sniffer.credential_requests, 0);
}

TEST_F(CliOnTheWire, UnknownDeviceExitsThreeAfterTheTimeout) {
    start_sim();
    const auto r = run({"localize", "9999999_nobody", "--timeout", "2"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("9999999_nobody did not answer"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("5 other devices answered"), std::string::npos) << r.err;
}

TEST_F(CliOnTheWire, InterfaceLimitsTheCardsAndAnUnknownOneExitsFour) {
    start_sim();
    const std::string quiet = lab_.addNamespace("quiet");
    lab_.link(pc_, "lan2", "10.78.1.1/24", quiet, "eth0", "10.78.1.2/24");

    const auto on_lan2 = run({"scan", "--interface", "lan2", "--timeout", "1"});
    EXPECT_EQ(on_lan2.code, 3) << on_lan2.out;

    const auto on_lan1 = run({"scan", "--json", "--interface", "lan1", "--timeout", "2"});
    EXPECT_EQ(on_lan1.code, 0) << on_lan1.err;
    EXPECT_EQ(json_lines(on_lan1.out).size(), fleet_ids.size());

    const auto unknown = run({"scan", "--interface", "wlan9"});
    EXPECT_EQ(unknown.code, 4);
    EXPECT_NE(unknown.err.find("no usable card \"wlan9\""), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("lan1"), std::string::npos) << unknown.err;
}

TEST_F(CliOnTheWire, TakenResponsePortExitsFour) {
    const std::string log = files_ + "-first.log";
    const pid_t first = lab_.spawn(
        pc_, {buildDir() + "/bin/lanfinder-cli", "scan", "--verbose", "--timeout", "30"}, {}, log);
    ASSERT_TRUE(waitFor(
        [&] { return readText(log).find("Bind successfully on:") != std::string::npos; }, 15000))
        << readText(log);
    const auto second = run({"scan", "--timeout", "1"});
    EXPECT_EQ(second.code, 4) << second.err;
    EXPECT_NE(second.err.find("cannot listen on 10.77.1.1:33002"), std::string::npos) << second.err;
    ::kill(first, SIGTERM);
    NetLab::waitExit(first, 5000);
}

TEST_F(CliOnTheWire, UsageErrorsExitTwoBeforeAnythingIsSent) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"set", "1010101_plain01", "--ip", "10.77.1.300"},
             {"set", "1010101_plain01", "--name", "x", "--password", "secret"},
             {"frobnicate"},
             {"localize"}}) {
        const auto r = run(args);
        EXPECT_EQ(r.code, 2) << args.front();
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_EQ(r.err.rfind("lanfinder-cli: ", 0), 0u) << r.err;
    }
    const auto no_password =
        run({"localize", "1010101_plain01", "--user", "admin", "--password-stdin"});
    EXPECT_EQ(no_password.code, 2);
    EXPECT_NE(no_password.err.find("no password line"), std::string::npos) << no_password.err;
}

TEST_F(CliOnTheWire, HelpForEveryCommandExitsZero) {
    for (const char* command : {"scan", "set", "localize"}) {
        const auto r = run({command, "--help"});
        EXPECT_EQ(r.code, 0) << command;
        EXPECT_NE(r.out.find(std::string("Usage: lanfinder-cli ") + command), std::string::npos)
            << r.out;
    }
}

}  // namespace

class CliApplyOnTheWire : public CliOnTheWire {
protected:
    std::map<std::string, nlohmann::json> apply(const std::string& plan_csv,
                                                const std::vector<std::string>& more, cli_run& r) {
        writeText(files_ + "-plan.csv", plan_csv);
        std::vector<std::string> args = {"apply", files_ + "-plan.csv", "--json", "--timeout", "3"};
        args.insert(args.end(), more.begin(), more.end());
        r = run(args);
        std::map<std::string, nlohmann::json> by_device;
        for (const auto& j : json_lines(r.out)) {
            by_device[j.at("device").get<std::string>()] = j;
        }
        return by_device;
    }

    int configuration_requests_logged() {
        const auto log = readText(files_ + "-sim.log");
        int count = 0;
        for (auto at = log.find("configuration of"); at != std::string::npos;
             at = log.find("configuration of", at + 1)) {
            ++count;
        }
        return count;
    }
};

TEST_F(CliApplyOnTheWire, APlanForFourDevicesIsDoneAndExitsZero) {
    start_sim();
    cli_run r;
    const auto results = apply(
        "serialNumber;mac;id;name;ip\n"
        "plain01;;;Infeed left;\n"
        ";02-4C-46-00-00-03;;Camera two;\n"
        ";;1040404_move04;;10.77.1.200\n"
        "Dhcp05;;;\"Labeler; east\";\n",
        {"--parallel", "2"}, r);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    ASSERT_EQ(results.size(), 4u) << r.out;
    for (const auto& [id, j] : results) {
        EXPECT_EQ(j["status"], "done") << id << ": " << j.dump();
    }
    EXPECT_EQ(results.at("1040404_move04")["change"], "ip 10.77.1.13 -> 10.77.1.200");
    EXPECT_EQ(configuration_requests_logged(), 4);
    ASSERT_TRUE(waitFor(
        [&] {
            const auto now = scan_json();
            return now.count("1040404_move04") != 0 &&
                   now.at("1040404_move04")["ip"] == "10.77.1.200";
        },
        30000));
    const auto now = scan_json();
    EXPECT_EQ(now.at("1010101_plain01")["name"], "Infeed left");
    EXPECT_EQ(now.at("1030303_noloc03")["name"], "Camera two");
    EXPECT_EQ(now.at("1050505_dhcp05")["name"], "Labeler; east");
}

TEST_F(CliApplyOnTheWire, ALockedDeviceFailsNotAuthorizedAndTheOthersAreDone) {
    start_sim();
    cli_run r;
    const auto results = apply(
        "id,name\n1010101_plain01,First\n1020202_lock02,Second\n1030303_noloc03,Third\n", {}, r);
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    ASSERT_EQ(results.size(), 3u) << r.out;
    EXPECT_EQ(results.at("1020202_lock02")["status"], "failed");
    EXPECT_EQ(results.at("1020202_lock02")["message"], "Not authorized");
    EXPECT_EQ(results.at("1010101_plain01")["status"], "done");
    EXPECT_EQ(results.at("1030303_noloc03")["status"], "done");
    EXPECT_EQ(scan_json().at("1020202_lock02")["name"], "Locked reader");
}

TEST_F(CliApplyOnTheWire, PreFlightFailuresAreNeverSent) {
    start_sim();
    cli_run r;
    const auto results = apply(
        "id,ip\n1010101_plain01,10.77.1.11\n1040404_move04,10.77.1.0\n9999999_nobody,10.77.1.99\n",
        {}, r);
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_EQ(results.at("1010101_plain01")["message"], "Address in use by 1020202_lock02");
    EXPECT_EQ(results.at("1040404_move04")["message"], "Invalid address");
    EXPECT_EQ(results.at("9999999_nobody")["message"], "Device is not available");
    EXPECT_EQ(configuration_requests_logged(), 0);
}

TEST_F(CliApplyOnTheWire, DryRunPreviewsAndSendsNothing) {
    start_sim();
    cli_run r;
    const auto results = apply(
        "id,name,ip\n1010101_plain01,Preview,\n1040404_move04,,10.77.1.201\n", {"--dry-run"}, r);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    ASSERT_EQ(results.size(), 2u) << r.out;
    EXPECT_EQ(results.at("1010101_plain01")["change"], "name Infeed sensor -> Preview");
    EXPECT_EQ(results.at("1040404_move04")["status"], "pending");
    const auto table = run({"apply", files_ + "-plan.csv", "--dry-run", "--timeout", "2"});
    EXPECT_EQ(table.code, 0) << table.err;
    EXPECT_EQ(table.out.rfind("ROW  DEVICE", 0), 0u) << table.out;
    const auto at = table.out.find("1040404_move04");
    ASSERT_NE(at, std::string::npos) << table.out;
    const auto line = table.out.substr(at, table.out.find('\n', at) - at);
    EXPECT_NE(line.find("ip 10.77.1.13 -> 10.77.1.201"), std::string::npos) << line;
    EXPECT_NE(line.find(" pending"), std::string::npos) << line;
    // A scan afterwards proves the simulator was listening all along.
    EXPECT_EQ(scan_json().at("1010101_plain01")["name"], "Infeed sensor");
    EXPECT_EQ(configuration_requests_logged(), 0);
}
