#include "request_id.h"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

namespace dp {

std::string make_request_id() {
    // random_generator is an mt19937 seeded once in this Boost; the pure
    // generator asks getrandom() for every id, as the protocol wants.
    thread_local boost::uuids::random_generator_pure generator;
    return boost::uuids::to_string(generator());
}

}  // namespace dp
