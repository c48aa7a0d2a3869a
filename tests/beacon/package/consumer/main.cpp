#include <beacon/beacon.h>
#include <logbridge/p7.h>

#include <iostream>

int main() {
    dp::discovery_request request;
    request.set_request_id("0f8fad5b-d9cb-469f-a165-70867728950e");
    if (dp::encode(request).size() != 96) {
        std::cerr << "unexpected discovery request\n";
        return 1;
    }
    auto engine = dp::device_protocol::instance(dp::device_protocol::client, {});
    if (!engine || engine->send_discovery_request() != -1) {
        std::cerr << "unexpected engine behaviour\n";
        return 1;
    }
    try {
        dp::discovery_response response;
        response.set_ip("300.0.0.1");
        return 1;
    } catch (const std::invalid_argument&) {
    }
    p7::deliver(0, __LINE__, "consumer", "main", "consumer ran");
    std::cout << "consumer ok\n";
    return 0;
}
