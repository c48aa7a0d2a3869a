#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dp {

// The members any of the six messages reads, captured while a datagram's
// text is read, with no document built: the receive path decodes every
// answer, and building a JSON tree first cost it most of its time.
//
// What is captured is exactly what the whole document would hold: keys are
// matched case-sensitively after unescaping, a repeated key replaces the
// earlier value with everything below it (the last one wins), and members
// of anything that is not an object on the expected path are not seen.
// An object may be reused for many datagrams; its texts keep their storage.
class datagram_fields {
public:
    // The members, in document order (each one's members follow it).
    enum member : std::uint8_t {
        document,
        id,
        action,
        article_number,
        serial_number,
        parameters,
        parameters_device_details,
        configuration,
        configuration_name,
        configuration_network,
        configuration_nic_name,
        configuration_ip,
        configuration_mask,
        configuration_gateway,
        configuration_method,
        credentials,
        credentials_username,
        credentials_password,
        results,
        details,
        details_mac,
        details_hardware_version,
        details_device_type,
        details_device_url,
        details_serial_number,
        details_article_number,
        details_firmware_version,
        details_user_defined_name,
        details_manufacture_date,
        details_manufacturer,
        details_capabilities,
        details_authentication,
        details_network,
        details_ip,
        details_mask,
        details_gateway,
        details_method,
        details_status,
        details_state,
        details_status_value,
        details_info,
        results_configuration,
        results_localize,
        member_count,
    };

    enum class kind : std::uint8_t {
        absent,
        null,
        boolean,
        integer,           // negative integers
        unsigned_integer,  // integers from 0 up
        floating,
        text,
        array,
        object,
    };

    struct value {
        kind type = kind::absent;
        bool boolean = false;
        std::int64_t integer = 0;
        std::uint64_t unsigned_integer = 0;
        double floating = 0;
        std::string text;
    };

    // Reads one strict JSON text (RFC 8259, no comments, nothing after it);
    // false when it is not one or when objects and arrays nest deeper than
    // max_depth (the read stops there).
    bool read(const char* data, std::size_t length, std::size_t max_depth);

    const value& operator[](member which) const { return values_[which]; }
    bool has(member which) const { return values_[which].type != kind::absent; }
    bool is(member which, kind type) const { return values_[which].type == type; }

    // deviceStatus/info's elements, when they are all texts.
    bool info_all_text() const { return info_all_text_; }
    std::size_t info_count() const { return info_count_; }
    const std::string& info(std::size_t index) const { return info_[index]; }

private:
    friend class datagram_fields_reader;

    void clear(member from);
    value* target();
    void release_large_storage();

    value values_[member_count];
    // Kept beyond info_count_ so that their storage is reused.
    std::vector<std::string> info_;
    std::size_t info_count_ = 0;
    bool info_all_text_ = true;
    // One entry per open object or array: the member it is, or a mark.
    std::vector<std::uint8_t> open_;
    std::uint8_t pending_ = document;
    std::size_t max_depth_ = 0;
    // Set when a read kept more storage than answers need, so that one odd
    // datagram does not pin it to the receive thread for good.
    bool holds_large_storage_ = false;
};

}  // namespace dp
