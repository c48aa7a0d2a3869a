#include "beacon/idevice_protocol.h"

namespace dp {

int idevice_protocol::send_configuration_request(
    const std::string& /*card_ip*/, const std::string& /*article_number*/,
    const std::string& /*serial_number*/, const std::string& /*ip*/, const std::string& /*mask*/,
    const std::string& /*gateway*/, const std::string& /*user_defined_name*/,
    const sdk::system::network_method_type& /*network_method*/, const std::string& /*username*/,
    const std::string& /*password*/) const {
    // Falling back to every card would spread the credentials.
    return -1;
}

int idevice_protocol::send_localize_request(const std::string& /*card_ip*/,
                                            const std::string& /*article_number*/,
                                            const std::string& /*serial_number*/,
                                            const std::string& /*username*/,
                                            const std::string& /*password*/) const {
    return -1;
}

void idevice_protocol::set_repeat_filter(repeat_filter /*filter*/) {}

}  // namespace dp
