#include <gtest/gtest.h>

#include <beacon/system_types.h>

#include <string>
#include <vector>

namespace {

using namespace sdk::system;
using DeviceAdministrationFbbApi::DeviceState;

const std::vector<std::string> event_names = {
    "UNKNOWN",
    "GET",
    "SET",
    "REPLY",
    "SUBSCRIBE",
    "NOTIFY",
    "LOCALIZE",
    "REBOOT",
    "RESET_NETWORK",
    "RESET_SETTINGS",
    "RESET_INDUSTRIAL_ETHERNET",
    "UNSUBSCRIBE",
    "LOGIN",
    "LOGOUT",
    "IPERF",
    "DELETE",
    "CREATE",
    "TEACH",
    "DISKLOADER_MODE",
    "FS_LIST_DIRECTORY",
    "FS_LIST_DIRECTORIES",
    "FS_DELETE",
    "FS_RENAME",
    "FS_DUPLICATE",
    "FS_NEW_DIRECTORY",
    "FS_MOVE",
    "FS_COPY",
    "FS_DOWNLOAD",
};

TEST(Vocabulary, EveryEventTypeConvertsBothWays) {
    for (int value = 0; value < static_cast<int>(event_names.size()); ++value) {
        EXPECT_EQ(to_string(static_cast<event_type>(value)), event_names[value]);
        auto back = event_type_from_string(event_names[value]);
        ASSERT_TRUE(back.has_value()) << event_names[value];
        EXPECT_EQ(static_cast<int>(*back), value);
    }
    EXPECT_EQ(to_string(static_cast<event_type>(28)), "");
    EXPECT_EQ(to_string(static_cast<event_type>(-1)), "");
}

TEST(Vocabulary, OperationResultsConvertBothWays) {
    const std::vector<std::string> names = {"UNKNOWN",
                                            "ACCEPTED",
                                            "ERROR",
                                            "BUSY",
                                            "NOT_SUPPORTED",
                                            "INVALID_NETWORK_CONFIG",
                                            "INVALID_USER_NAME",
                                            "NOT_AUTHORIZED",
                                            "INVALID_RIGHTS",
                                            "RESERVED_IP"};
    for (int value = -1; value <= 8; ++value) {
        EXPECT_EQ(to_string(static_cast<operation_result>(value)), names[value + 1]);
        auto back = operation_result_from_string(names[value + 1]);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(static_cast<int>(*back), value);
    }
    EXPECT_EQ(to_string(static_cast<operation_result>(9)), "");
    EXPECT_EQ(to_string(static_cast<operation_result>(-2)), "");
}

TEST(Vocabulary, NetworkMethodsConvertBothWays) {
    EXPECT_EQ(to_string(network_method_type::PERSISTENT_IP), "PERSISTENT_IP");
    EXPECT_EQ(to_string(network_method_type::DHCP), "DHCP");
    EXPECT_EQ(to_string(network_method_type::UNKNOWN), "UNKNOWN");
    EXPECT_EQ(to_string(static_cast<network_method_type>(2)), "");
    EXPECT_EQ(to_string(static_cast<network_method_type>(254)), "");
    EXPECT_EQ(network_method_type_from_string("DHCP"), network_method_type::DHCP);
    EXPECT_EQ(network_method_type_from_string("PERSISTENT_IP"), network_method_type::PERSISTENT_IP);
}

TEST(Vocabulary, UnknownConvertsPerType) {
    EXPECT_EQ(static_cast<int>(*event_type_from_string("UNKNOWN")), 0);
    EXPECT_EQ(static_cast<int>(*operation_result_from_string("UNKNOWN")), -1);
    EXPECT_EQ(static_cast<int>(*network_method_type_from_string("UNKNOWN")), 255);
}

TEST(Vocabulary, TextMustMatchExactly) {
    for (const std::string text : {"unknown", "Get", " GET", "GET ", "1", "", "DHCP\n"}) {
        EXPECT_FALSE(event_type_from_string(text).has_value()) << text;
        EXPECT_FALSE(operation_result_from_string(text).has_value()) << text;
        EXPECT_FALSE(network_method_type_from_string(text).has_value()) << text;
    }
    EXPECT_FALSE(DeviceAdministrationFbbApi::device_state_from_string("ACTIVE").has_value());
}

TEST(Vocabulary, DeviceStatesKeepTheirPrefix) {
    const std::vector<std::pair<DeviceState, std::string>> table = {
        {DeviceState::DeviceState_ACTIVE, "DeviceState_ACTIVE"},
        {DeviceState::DeviceState_WARNING, "DeviceState_WARNING"},
        {DeviceState::DeviceState_ERROR, "DeviceState_ERROR"},
        {DeviceState::DeviceState_LOCALIZE, "DeviceState_LOCALIZE"},
        {DeviceState::DeviceState_UNKNOWN, "DeviceState_UNKNOWN"},
    };
    for (const auto& [state, name] : table) {
        EXPECT_EQ(DeviceAdministrationFbbApi::to_string(state), name);
        EXPECT_EQ(DeviceAdministrationFbbApi::device_state_from_string(name), state);
    }
    EXPECT_EQ(DeviceAdministrationFbbApi::to_string(static_cast<DeviceState>(4)), "");
    EXPECT_EQ(static_cast<int>(DeviceState::DeviceState_UNKNOWN), 255);
}

TEST(Vocabulary, CapabilitiesHaveTheirWireBits) {
    EXPECT_EQ(static_cast<unsigned>(capabilities::SUPPORTS_DHCP), 1u);
    EXPECT_EQ(static_cast<unsigned>(capabilities::SUPPORTS_PERSISTENT_IP), 2u);
    EXPECT_EQ(static_cast<unsigned>(capabilities::SUPPORTS_LOCALIZE), 8u);
}

}  // namespace
