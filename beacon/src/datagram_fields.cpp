#include "datagram_fields.h"

#include <nlohmann/json.hpp>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dp {
namespace {

// nlohmann's lexer collects the bytes of every string and key with
// push_back. For std::string that is a call into libstdc++ per byte (the
// library instantiates it, so it is never inlined), which was the largest
// single cost of a read. A string type of its own allocator is instantiated
// here and inlined; the lexer and parser are the same code as json's.
template <typename T>
struct token_allocator {
    using value_type = T;

    token_allocator() = default;
    template <typename U>
    token_allocator(const token_allocator<U>&) noexcept {}

    T* allocate(std::size_t count) { return std::allocator<T>().allocate(count); }
    void deallocate(T* pointer, std::size_t count) noexcept {
        std::allocator<T>().deallocate(pointer, count);
    }

    friend bool operator==(const token_allocator&, const token_allocator&) { return true; }
    friend bool operator!=(const token_allocator&, const token_allocator&) { return false; }
};

using token_text = std::basic_string<char, std::char_traits<char>, token_allocator<char>>;
using json = nlohmann::basic_json<std::map, std::vector, token_text>;
using member = datagram_fields::member;
using kind = datagram_fields::kind;

// Marks in the stack of open containers besides member numbers.
constexpr std::uint8_t ignored = 0xff;
constexpr std::uint8_t info_array = 0xfe;

struct shape {
    std::uint8_t parent;
    std::string_view key;
};

// Indexed by member; every member follows its parent.
constexpr shape shapes[member::member_count] = {
    {ignored, {}},
    {member::document, "id"},
    {member::document, "action"},
    {member::document, "articleNumber"},
    {member::document, "serialNumber"},
    {member::document, "parameters"},
    {member::parameters, "deviceDetails"},
    {member::parameters, "configuration"},
    {member::configuration, "userDefinedName"},
    {member::configuration, "network"},
    {member::configuration_network, "nic_name"},
    {member::configuration_network, "ip"},
    {member::configuration_network, "mask"},
    {member::configuration_network, "gateway"},
    {member::configuration_network, "method"},
    {member::parameters, "credentials"},
    {member::credentials, "username"},
    {member::credentials, "password"},
    {member::document, "results"},
    {member::results, "deviceDetails"},
    {member::details, "mac"},
    {member::details, "hardwareVersion"},
    {member::details, "deviceType"},
    {member::details, "deviceUrl"},
    {member::details, "serialNumber"},
    {member::details, "articleNumber"},
    {member::details, "firmwareVersion"},
    {member::details, "userDefinedName"},
    {member::details, "manufactureDate"},
    {member::details, "manufacturer"},
    {member::details, "capabilities"},
    {member::details, "authentication"},
    {member::details, "network"},
    {member::details_network, "ip"},
    {member::details_network, "mask"},
    {member::details_network, "gateway"},
    {member::details_network, "method"},
    {member::details, "deviceStatus"},
    {member::details_status, "state"},
    {member::details_status, "value"},
    {member::details_status, "info"},
    {member::results, "configuration"},
    {member::results, "localize"},
};

constexpr bool below(std::uint8_t which, std::uint8_t ancestor) {
    for (std::uint8_t at = shapes[which].parent; at != ignored; at = shapes[at].parent) {
        if (at == ancestor) {
            return true;
        }
    }
    return false;
}

struct subtree_ends {
    std::uint8_t end[member::member_count] = {};

    constexpr subtree_ends() {
        for (std::uint8_t which = 0; which < member::member_count; ++which) {
            std::uint8_t next = which + 1;
            while (next < member::member_count && below(next, which)) {
                ++next;
            }
            end[which] = next;
        }
    }
};

// One past the last member below each member.
constexpr subtree_ends ends;

static_assert(ends.end[member::document] == member::member_count);
static_assert(ends.end[member::details] == member::results_configuration);
static_assert(ends.end[member::details_info] == member::results_configuration);

}  // namespace

// The SAX side of datagram_fields::read: every event lands in a member, in
// the info list, or nowhere.
class datagram_fields_reader {
public:
    explicit datagram_fields_reader(datagram_fields& fields) : fields_(fields) {}

    bool null() { return scalar(kind::null); }

    bool boolean(bool value) {
        if (auto* slot = scalar_slot(kind::boolean)) {
            slot->boolean = value;
        }
        return true;
    }

    bool number_integer(json::number_integer_t value) {
        if (auto* slot = scalar_slot(kind::integer)) {
            slot->integer = value;
        }
        return true;
    }

    bool number_unsigned(json::number_unsigned_t value) {
        if (auto* slot = scalar_slot(kind::unsigned_integer)) {
            slot->unsigned_integer = value;
        }
        return true;
    }

    // A template, as the binary formats' reader (compiled in, never used)
    // hands over the number's text as a std::string.
    template <typename Text>
    bool number_float(json::number_float_t value, const Text&) {
        if (auto* slot = scalar_slot(kind::floating)) {
            slot->floating = value;
        }
        return true;
    }

    bool string(json::string_t& value) {
        if (in_info()) {
            if (fields_.info_count_ == fields_.info_.size()) {
                fields_.info_.emplace_back();
            }
            fields_.info_[fields_.info_count_++].assign(value.data(), value.size());
        } else if (auto* slot = fields_.target()) {
            slot->type = kind::text;
            slot->text.assign(value.data(), value.size());
        }
        return true;
    }

    bool binary(json::binary_t&) { return true; }

    bool start_object(std::size_t) {
        if (fields_.open_.size() >= fields_.max_depth_) {
            return false;
        }
        if (auto* slot = container_slot(kind::object)) {
            fields_.open_.push_back(static_cast<std::uint8_t>(slot - fields_.values_));
        } else {
            fields_.open_.push_back(ignored);
        }
        return true;
    }

    bool key(json::string_t& name) {
        const std::uint8_t parent = fields_.open_.back();
        fields_.pending_ = ignored;
        if (parent == ignored || parent == info_array) {
            return true;
        }
        for (std::uint8_t child = parent + 1; child < ends.end[parent]; child = ends.end[child]) {
            if (shapes[child].key == std::string_view(name.data(), name.size())) {
                // A repeated key replaces what came before it, all of it.
                fields_.clear(static_cast<member>(child));
                fields_.pending_ = child;
                break;
            }
        }
        return true;
    }

    bool end_object() {
        fields_.open_.pop_back();
        return true;
    }

    bool start_array(std::size_t) {
        if (fields_.open_.size() >= fields_.max_depth_) {
            return false;
        }
        auto* slot = container_slot(kind::array);
        fields_.open_.push_back(slot == &fields_.values_[member::details_info] ? info_array
                                                                               : ignored);
        return true;
    }

    bool end_array() {
        fields_.open_.pop_back();
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
        return false;
    }

private:
    bool in_info() const { return !fields_.open_.empty() && fields_.open_.back() == info_array; }

    datagram_fields::value* scalar_slot(kind type) {
        if (in_info()) {
            fields_.info_all_text_ = false;
            return nullptr;
        }
        auto* slot = fields_.target();
        if (slot != nullptr) {
            slot->type = type;
        }
        return slot;
    }

    bool scalar(kind type) {
        scalar_slot(type);
        return true;
    }

    datagram_fields::value* container_slot(kind type) { return scalar_slot(type); }

    datagram_fields& fields_;
};

void datagram_fields::clear(member from) {
    const std::uint8_t end = ends.end[from];
    for (std::uint8_t which = from; which < end; ++which) {
        values_[which].type = kind::absent;
    }
    if (from <= member::details_info && member::details_info < end) {
        info_count_ = 0;
        info_all_text_ = true;
    }
}

datagram_fields::value* datagram_fields::target() {
    if (open_.empty()) {
        return &values_[document];
    }
    const std::uint8_t parent = open_.back();
    if (parent == ignored || parent == info_array || pending_ == ignored) {
        return nullptr;
    }
    return &values_[pending_];
}

bool datagram_fields::read(const char* data, std::size_t length, std::size_t max_depth) {
    clear(document);
    open_.clear();
    pending_ = document;
    max_depth_ = max_depth;
    datagram_fields_reader reader(*this);
    // Strict: one JSON text and nothing after it, as json::parse reads it.
    return json::sax_parse(data, data + length, &reader, json::input_format_t::json, true, false);
}

}  // namespace dp
