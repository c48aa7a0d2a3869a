#include "datagram_fields.h"

#include <nlohmann/json.hpp>

#include <string_view>

#include "plain_json.h"

namespace dp {
namespace {

using nlohmann::json;
using member = datagram_fields::member;
using kind = datagram_fields::kind;

// Marks in the stack of open containers besides member numbers.
constexpr std::uint8_t ignored = 0xff;
constexpr std::uint8_t info_array = 0xfe;

// Storage kept from one read to the next: enough for any real answer.
constexpr std::size_t kept_text_capacity = 1024;
constexpr std::size_t kept_info_lines = 32;

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

// Where each event of a read lands: in a member, in the info list, or
// nowhere. Both readers of datagram_fields::read deliver to it.
class datagram_fields_reader {
public:
    explicit datagram_fields_reader(datagram_fields& fields) : fields_(fields) {}

    void null() { scalar_slot(kind::null); }

    void boolean(bool value) {
        if (auto* slot = scalar_slot(kind::boolean)) {
            slot->boolean = value;
        }
    }

    void integer(std::int64_t value) {
        if (auto* slot = scalar_slot(kind::integer)) {
            slot->integer = value;
        }
    }

    void unsigned_integer(std::uint64_t value) {
        if (auto* slot = scalar_slot(kind::unsigned_integer)) {
            slot->unsigned_integer = value;
        }
    }

    void floating(double value) {
        if (auto* slot = scalar_slot(kind::floating)) {
            slot->floating = value;
        }
    }

    void text(std::string_view value) {
        if (value.size() > kept_text_capacity) {
            fields_.holds_large_storage_ = true;
        }
        if (in_info()) {
            if (fields_.info_count_ == fields_.info_.size()) {
                fields_.info_.emplace_back();
                fields_.holds_large_storage_ |= fields_.info_.size() > kept_info_lines;
            }
            fields_.info_[fields_.info_count_++].assign(value.data(), value.size());
        } else if (auto* slot = fields_.target()) {
            slot->type = kind::text;
            slot->text.assign(value.data(), value.size());
        }
    }

    void key(std::string_view name) {
        const std::uint8_t parent = fields_.open_.back();
        fields_.pending_ = ignored;
        if (parent == ignored || parent == info_array) {
            return;
        }
        for (std::uint8_t child = parent + 1; child < ends.end[parent]; child = ends.end[child]) {
            if (shapes[child].key == name) {
                // A repeated key replaces what came before it, all of it.
                fields_.clear(static_cast<member>(child));
                fields_.pending_ = child;
                return;
            }
        }
    }

    bool start_object() {
        if (fields_.open_.size() >= fields_.max_depth_) {
            return false;
        }
        if (auto* slot = scalar_slot(kind::object)) {
            fields_.open_.push_back(static_cast<std::uint8_t>(slot - fields_.values_));
        } else {
            fields_.open_.push_back(ignored);
        }
        return true;
    }

    bool start_array() {
        if (fields_.open_.size() >= fields_.max_depth_) {
            return false;
        }
        auto* slot = scalar_slot(kind::array);
        fields_.open_.push_back(slot == &fields_.values_[member::details_info] ? info_array
                                                                               : ignored);
        return true;
    }

    void end_object() { fields_.open_.pop_back(); }
    void end_array() { fields_.open_.pop_back(); }

private:
    bool in_info() const { return !fields_.open_.empty() && fields_.open_.back() == info_array; }

    // The member a value of this type lands in, now marked as holding one.
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

    datagram_fields& fields_;
};

namespace {

// nlohmann's SAX interface over the reader.
class sax_events {
public:
    explicit sax_events(datagram_fields_reader& reader) : reader_(reader) {}

    bool null() { return reader_.null(), true; }
    bool boolean(bool value) { return reader_.boolean(value), true; }
    bool number_integer(json::number_integer_t value) { return reader_.integer(value), true; }
    bool number_unsigned(json::number_unsigned_t value) {
        return reader_.unsigned_integer(value), true;
    }
    bool number_float(json::number_float_t value, const json::string_t&) {
        return reader_.floating(value), true;
    }
    bool string(json::string_t& value) { return reader_.text(value), true; }
    bool binary(json::binary_t&) { return true; }
    bool start_object(std::size_t) { return reader_.start_object(); }
    bool key(json::string_t& name) { return reader_.key(name), true; }
    bool end_object() { return reader_.end_object(), true; }
    bool start_array(std::size_t) { return reader_.start_array(); }
    bool end_array() { return reader_.end_array(), true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
        return false;
    }

private:
    datagram_fields_reader& reader_;
};

}  // namespace

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

void datagram_fields::release_large_storage() {
    for (auto& slot : values_) {
        if (slot.text.capacity() > kept_text_capacity) {
            std::string().swap(slot.text);
        }
    }
    if (info_.size() > kept_info_lines) {
        info_.resize(kept_info_lines);
        info_.shrink_to_fit();
    }
    for (auto& line : info_) {
        if (line.capacity() > kept_text_capacity) {
            std::string().swap(line);
        }
    }
    holds_large_storage_ = false;
}

bool datagram_fields::read(const char* data, std::size_t length, std::size_t max_depth) {
    max_depth_ = max_depth;
    auto restart = [this] {
        if (holds_large_storage_) {
            release_large_storage();
        }
        clear(document);
        open_.clear();
        pending_ = document;
    };
    restart();
    datagram_fields_reader reader(*this);
    if (plain_json::read(data, length, reader) == plain_json::outcome::read) {
        return true;
    }
    // Everything else, from an escaped quote to a broken text, is nlohmann's
    // to read, strictly: one JSON text and nothing after it, as json::parse.
    restart();
    sax_events events(reader);
    return json::sax_parse(data, data + length, &events, json::input_format_t::json, true, false);
}

}  // namespace dp
