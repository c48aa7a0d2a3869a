#include "decoder.h"

#include <cmath>

#include "beacon/codec.h"
#include "beacon/configuration_request.h"
#include "beacon/configuration_response.h"
#include "beacon/discovery_request.h"
#include "beacon/discovery_response.h"
#include "beacon/localize_request.h"
#include "beacon/localize_response.h"
#include "datagram_fields.h"
#include "validation.h"

namespace dp {
namespace {

using sdk::system::event_type;
using field = datagram_fields::member;
using kind = datagram_fields::kind;

// The rules are those of the document-based reader this replaced, kept as
// the tests' reference decoder: every member read is required and must have
// its JSON type, a value the records would reject means no message. They are
// checked before the setters are called, so a rejected datagram costs no
// exception.

class message_reader {
public:
    explicit message_reader(const datagram_fields& fields) : fields_(fields) {}

    std::unique_ptr<event> read() const {
        if (!fields_.is(field::document, kind::object) || !fields_.has(field::action) ||
            !fields_.has(field::id)) {
            return nullptr;
        }
        const std::string* action = text(field::action);
        if (action == nullptr) {
            return nullptr;
        }
        switch (sdk::system::event_type_from_string(*action).value_or(event_type::UNKNOWN)) {
            case event_type::GET:
                if (!object(field::parameters) || !fields_.has(field::parameters_device_details)) {
                    return nullptr;
                }
                return discovery_request_of();
            case event_type::SET:
                if (!object(field::parameters) || !fields_.has(field::configuration)) {
                    return nullptr;
                }
                return configuration_request_of();
            case event_type::REPLY:
                return response_of();
            case event_type::LOCALIZE:
                return localize_request_of();
            default:
                return nullptr;
        }
    }

private:
    const std::string* text(field which) const {
        return fields_.is(which, kind::text) ? &fields_[which].text : nullptr;
    }

    bool object(field which) const { return fields_.is(which, kind::object); }

    // Any JSON number, converted as the record stores it; floats only where
    // the conversion is defined.
    static bool real_in_range(double value) {
        const long double real = value;
        return std::isfinite(real) && real > -9.2e18L && real < 9.2e18L;
    }

    bool unsigned32(field which, std::uint32_t& out) const {
        const auto& value = fields_[which];
        switch (value.type) {
            case kind::unsigned_integer:
                out = static_cast<std::uint32_t>(value.unsigned_integer);
                return true;
            case kind::integer:
                out = static_cast<std::uint32_t>(value.integer);
                return true;
            case kind::floating:
                if (!real_in_range(value.floating)) {
                    return false;
                }
                out = static_cast<std::uint32_t>(
                    static_cast<std::int64_t>(static_cast<long double>(value.floating)));
                return true;
            default:
                return false;
        }
    }

    bool signed64(field which, std::int64_t& out) const {
        const auto& value = fields_[which];
        switch (value.type) {
            case kind::integer:
                out = value.integer;
                return true;
            case kind::unsigned_integer:
                out = static_cast<std::int64_t>(value.unsigned_integer);
                return true;
            case kind::floating:
                if (!real_in_range(value.floating)) {
                    return false;
                }
                out = static_cast<std::int64_t>(static_cast<long double>(value.floating));
                return true;
            default:
                return false;
        }
    }

    const std::string* address(field which) const {
        const std::string* value = text(which);
        return value != nullptr && validation::is_ip(*value) ? value : nullptr;
    }

    bool method(field which, sdk::system::network_method_type& out) const {
        const std::string* name = text(which);
        if (name == nullptr) {
            return false;
        }
        auto method = sdk::system::network_method_type_from_string(*name);
        if (!method) {
            return false;
        }
        out = *method;
        return true;
    }

    bool result(field which, sdk::system::operation_result& out) const {
        const std::string* name = text(which);
        if (name == nullptr) {
            return false;
        }
        auto result = sdk::system::operation_result_from_string(*name);
        if (!result) {
            return false;
        }
        out = *result;
        return true;
    }

    // The three members every message that concerns one device carries.
    template <typename Message>
    bool envelope(Message& message) const {
        const std::string* id = text(field::id);
        const std::string* article = text(field::article_number);
        const std::string* serial = text(field::serial_number);
        if (id == nullptr || article == nullptr || serial == nullptr) {
            return false;
        }
        message.set_request_id(*id);
        message.set_article_number(*article);
        message.set_serial_number(*serial);
        return true;
    }

    // Both credentials in plain text; false when either does not decrypt.
    bool credentials(std::string& username, std::string& password) const {
        const std::string* user = text(field::credentials_username);
        const std::string* word = text(field::credentials_password);
        if (!object(field::parameters) || !object(field::credentials) || user == nullptr ||
            word == nullptr) {
            return false;
        }
        try {
            username = decrypt_credential(*user);
            password = decrypt_credential(*word);
        } catch (const std::exception&) {
            return false;
        }
        return true;
    }

    std::unique_ptr<event> discovery_request_of() const {
        const std::string* id = text(field::id);
        if (id == nullptr) {
            return nullptr;
        }
        auto message = std::make_unique<discovery_request>();
        message->set_request_id(*id);
        return message;
    }

    std::unique_ptr<event> configuration_request_of() const {
        auto message = std::make_unique<configuration_request>();
        if (!envelope(*message) || !object(field::configuration) ||
            !object(field::configuration_network)) {
            return nullptr;
        }
        const std::string* name = text(field::configuration_name);
        const std::string* nic = text(field::configuration_nic_name);
        const std::string* ip = address(field::configuration_ip);
        const std::string* mask = address(field::configuration_mask);
        const std::string* gateway = address(field::configuration_gateway);
        sdk::system::network_method_type network_method{};
        if (name == nullptr || nic == nullptr || ip == nullptr || mask == nullptr ||
            gateway == nullptr || !method(field::configuration_method, network_method)) {
            return nullptr;
        }
        std::string username;
        std::string password;
        if (!credentials(username, password)) {
            return nullptr;
        }
        message->set_user_defined_name(*name);
        message->set_nic_name(*nic);
        message->set_ip(*ip);
        message->set_mask(*mask);
        message->set_gateway(*gateway);
        message->set_network_method(network_method);
        message->set_username(username);
        message->set_password(password);
        return message;
    }

    std::unique_ptr<event> localize_request_of() const {
        auto message = std::make_unique<localize_request>();
        std::string username;
        std::string password;
        if (!envelope(*message) || !credentials(username, password)) {
            return nullptr;
        }
        message->set_username(username);
        message->set_password(password);
        return message;
    }

    template <typename Message>
    std::unique_ptr<event> result_response_of(field which) const {
        auto message = std::make_unique<Message>();
        sdk::system::operation_result outcome{};
        if (!envelope(*message) || !result(which, outcome)) {
            return nullptr;
        }
        // Every named result is within what configuration_response accepts.
        message->set_result(outcome);
        return message;
    }

    std::unique_ptr<event> discovery_response_of() const;

    // Each kind of result present must read; with several, the last in key
    // order ("configuration", "deviceDetails", "localize") is the message.
    std::unique_ptr<event> response_of() const {
        if (!object(field::results)) {
            return nullptr;
        }
        std::unique_ptr<event> record;
        if (fields_.has(field::results_configuration)) {
            record = result_response_of<configuration_response>(field::results_configuration);
            if (!record) {
                return nullptr;
            }
        }
        if (fields_.has(field::details)) {
            record = discovery_response_of();
            if (!record) {
                return nullptr;
            }
        }
        if (fields_.has(field::results_localize)) {
            record = result_response_of<localize_response>(field::results_localize);
        }
        return record;
    }

    const datagram_fields& fields_;
};

std::unique_ptr<event> message_reader::discovery_response_of() const {
    const std::string* id = text(field::id);
    const std::string* mac = text(field::details_mac);
    const std::string* hardware = text(field::details_hardware_version);
    const std::string* type = text(field::details_device_type);
    const std::string* url = text(field::details_device_url);
    const std::string* serial = text(field::details_serial_number);
    const std::string* article = text(field::details_article_number);
    const std::string* firmware = text(field::details_firmware_version);
    const std::string* name = text(field::details_user_defined_name);
    const std::string* date = text(field::details_manufacture_date);
    const std::string* manufacturer = text(field::details_manufacturer);
    const std::string* ip = address(field::details_ip);
    const std::string* mask = address(field::details_mask);
    const std::string* gateway = address(field::details_gateway);
    const std::string* state = text(field::details_state);
    std::uint32_t capabilities = 0;
    std::int64_t status_value = 0;
    sdk::system::network_method_type network_method{};
    if (id == nullptr || !object(field::details) || mac == nullptr || !validation::is_mac(*mac) ||
        hardware == nullptr || type == nullptr || url == nullptr || serial == nullptr ||
        article == nullptr || firmware == nullptr || name == nullptr || date == nullptr ||
        manufacturer == nullptr || !object(field::details_network) || ip == nullptr ||
        mask == nullptr || gateway == nullptr ||
        !unsigned32(field::details_capabilities, capabilities) ||
        !method(field::details_method, network_method) || !object(field::details_status) ||
        state == nullptr || !signed64(field::details_status_value, status_value) ||
        !fields_.is(field::details_info, kind::array) || !fields_.info_all_text() ||
        !fields_.is(field::details_authentication, kind::boolean)) {
        return nullptr;
    }
    auto message = std::make_unique<discovery_response>();
    message->set_request_id(*id);
    message->set_mac(*mac);
    message->set_hardware_version(*hardware);
    message->set_device_type(*type);
    message->set_device_url(*url);
    message->set_serial_number(*serial);
    message->set_article_number(*article);
    message->set_device_firmware(*firmware);
    message->set_user_defined_name(*name);
    message->set_manufacturer(*manufacturer);
    message->set_ip(*ip);
    message->set_mask(*mask);
    message->set_gateway(*gateway);
    message->set_manufacture_date(*date);
    message->set_capability(capabilities);
    message->set_network_method(network_method);
    // An unknown state word is no error: the device is just in a state we do
    // not know. The buffer spares an allocation per answer.
    thread_local std::string state_name;
    state_name.assign("DeviceState_").append(*state);
    message->set_state(DeviceAdministrationFbbApi::device_state_from_string(state_name)
                           .value_or(DeviceAdministrationFbbApi::DeviceState::DeviceState_UNKNOWN));
    message->set_status_value(status_value);
    for (std::size_t i = 0; i < fields_.info_count(); ++i) {
        message->append_info_message(fields_.info(i));
    }
    message->set_authentication(fields_[field::details_authentication].boolean);
    return message;
}

}  // namespace

std::unique_ptr<event> decode_datagram(const char* data, std::size_t length) {
    if (data == nullptr || length == 0 || length > max_datagram_size) {
        return nullptr;
    }
    try {
        // One per receive thread, so the captured texts keep their storage
        // from one datagram to the next. The depth limit stops the read at
        // the first bracket too many: a datagram of "[[[[" costs no more
        // than its first 33 bytes.
        thread_local datagram_fields fields;
        if (!fields.read(data, length, max_nesting_depth)) {
            return nullptr;
        }
        return message_reader(fields).read();
    } catch (const std::exception&) {
        // Only running out of memory gets here: no message either.
        return nullptr;
    }
}

}  // namespace dp
