#include "settings_plan.h"

namespace cli {

using sdk::system::network_method_type;

wanted_settings settings_for(const options& o, const dp::discovery_response& now) {
    wanted_settings w{o.ip.value_or(now.ip()), o.mask.value_or(now.mask()),
                      o.gateway.value_or(now.gateway()), o.name.value_or(now.user_defined_name()),
                      now.network_method()};
    if (o.method == method_choice::dhcp) {
        w.method = network_method_type::DHCP;
    } else if (o.method == method_choice::persistent || o.ip || o.mask || o.gateway) {
        w.method = network_method_type::PERSISTENT_IP;
    }
    return w;
}

bool changes_network(const wanted_settings& w, const dp::discovery_response& now) {
    return w.ip != now.ip() || w.mask != now.mask() || w.gateway != now.gateway() ||
           w.method != now.network_method();
}

bool shows(const wanted_settings& w, const dp::discovery_response& answer) {
    if (answer.network_method() != w.method || answer.user_defined_name() != w.name) {
        return false;
    }
    if (w.method == network_method_type::DHCP) {
        return true;
    }
    return answer.ip() == w.ip && answer.mask() == w.mask && answer.gateway() == w.gateway;
}

}  // namespace cli
