#include "found_device.h"

#include <algorithm>
#include <cctype>

#include <nlohmann/json.hpp>

#include "outcome_text.h"

namespace cli {
namespace {

// Columns line up by characters, not bytes, for names in UTF-8.
std::size_t width(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::vector<std::string> row_of(const found_device& d) {
    const auto& a = d.answer;
    return {printable(a.article_number()),
            printable(a.serial_number()),
            printable(a.user_defined_name()),
            a.ip(),
            a.mask(),
            a.gateway(),
            method_text(a.network_method()),
            state_text(a.state()),
            printable(d.card_name)};
}

}  // namespace

std::string device_id(const dp::discovery_response& answer) {
    std::string id = answer.article_number() + "_" + answer.serial_number();
    std::transform(id.begin(), id.end(), id.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return id;
}

std::string printable(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            c = '?';
        }
    }
    return out;
}

std::string device_table(const std::vector<found_device>& devices) {
    std::vector<const found_device*> sorted;
    for (const auto& d : devices) {
        sorted.push_back(&d);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const found_device* x, const found_device* y) { return x->id < y->id; });

    std::vector<std::vector<std::string>> rows = {
        {"ARTICLE", "SERIAL", "NAME", "IP", "MASK", "GATEWAY", "METHOD", "STATE", "CARD"}};
    for (const auto* d : sorted) {
        rows.push_back(row_of(*d));
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], width(row[i]));
        }
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line += std::string(widths[i] - width(row[i]) + 2, ' ');
            }
        }
        out += line + "\n";
    }
    return out;
}

std::string device_json(const found_device& d) {
    const auto& a = d.answer;
    using sdk::system::capabilities;
    nlohmann::json j = {
        {"id", d.id},
        {"articleNumber", a.article_number()},
        {"serialNumber", a.serial_number()},
        {"name", a.user_defined_name()},
        {"type", a.device_type()},
        {"url", a.device_url()},
        {"hwVersion", a.hardware_version()},
        {"fwVersion", a.device_firmware()},
        {"manufacturer", a.manufacturer()},
        {"manufactureDate", a.manufacture_date()},
        {"mac", a.mac()},
        {"ip", a.ip()},
        {"subnetMask", a.mask()},
        {"defaultGateway", a.gateway()},
        {"networkMethod", method_text(a.network_method())},
        {"deviceState", state_text(a.state())},
        {"statusStringDetails", a.info_messages()},
        {"supportsDHCP", a.capability(capabilities::SUPPORTS_DHCP)},
        {"supportsPersistentIP", a.capability(capabilities::SUPPORTS_PERSISTENT_IP)},
        {"supportsLocalize", a.capability(capabilities::SUPPORTS_LOCALIZE)},
        {"isAuthentication", a.authentication()},
        {"card", d.card_name},
        {"cardIp", d.card_ip},
        {"senderIp", d.sender_ip},
    };
    // A device text that is not UTF-8 must not cost the whole listing.
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace cli
