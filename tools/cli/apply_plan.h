#pragma once

// A plan for apply: one row per device, read from a CSV or JSON file.

#include <optional>
#include <string>
#include <vector>

namespace cli {

struct plan_row {
    // 1-based row number as the user counts them (data rows, header excluded).
    int number = 0;
    // How the row finds its device; at least one is set.
    std::optional<std::string> serial_number;
    std::optional<std::string> mac;
    std::optional<std::string> id;
    // What changes; a missing cell keeps the device's current value.
    std::optional<std::string> name;
    std::optional<std::string> ip;
    std::optional<std::string> mask;
    std::optional<std::string> gateway;
    // "DHCP" or "PersistentIP".
    std::optional<std::string> method;
};

// Throws usage_error naming the row or column at fault. A CSV has a header
// row, cells separated by "," or ";" (whichever the header uses) and may quote
// cells with '"'; a JSON plan is an array of objects with string values.
std::vector<plan_row> parse_csv_plan(const std::string& text);
std::vector<plan_row> parse_json_plan(const std::string& text);

// Chooses the format by the file name's ending (".json" or else CSV) and
// reads the file. Throws usage_error.
std::vector<plan_row> read_plan_file(const std::string& path);

}  // namespace cli
