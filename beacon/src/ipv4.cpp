#include "ipv4.h"

#include "ipv4text/ipv4_text.h"

namespace dp::ipv4 {

bool same_subnet(const std::string& address, const std::string& mask, const std::string& target) {
    auto a = ipv4text::parse(address);
    auto m = ipv4text::parse(mask);
    auto t = ipv4text::parse(target);
    if (!a || !m || !t) {
        return false;
    }
    return (*a & *m) == (*t & *m);
}

}  // namespace dp::ipv4
