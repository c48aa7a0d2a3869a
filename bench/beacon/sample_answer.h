#pragma once

#include <string>

#include <beacon/beacon.h>

// The discovery answer the decode benchmarks measure: every text a real
// vision sensor sends, of typical lengths.
inline dp::discovery_response sample_discovery_response(
    const std::string& request_id = "0f8fad5b-d9cb-469f-a165-70867728950e") {
    dp::discovery_response r;
    r.set_request_id(request_id);
    r.set_mac("00:11:22:33:44:66");
    r.set_hardware_version("HW 2.1");
    r.set_device_type("Vision sensor");
    r.set_device_url("http://10.0.0.7/");
    r.set_serial_number("SN0012345678");
    r.set_article_number("1234-5678");
    r.set_device_firmware("4.12.3");
    r.set_user_defined_name("Line 4 camera");
    r.set_manufacture_date("2024-03-01");
    r.set_manufacturer("Maker");
    r.set_ip("10.0.0.7");
    r.set_mask("255.255.255.0");
    r.set_gateway("10.0.0.254");
    r.set_network_method(sdk::system::network_method_type::DHCP);
    r.set_state(DeviceAdministrationFbbApi::DeviceState::DeviceState_ACTIVE);
    r.append_info_message("Ready");
    r.set_capability(11u);
    return r;
}
