#include "apply_plan.h"

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "options.h"

namespace cli {
namespace {

const char* const known_columns =
    "serialNumber, mac, id, name, ip, subnetMask, defaultGateway, networkMethod";

std::optional<std::string>* cell_of(plan_row& row, const std::string& column) {
    if (column == "serialNumber")
        return &row.serial_number;
    if (column == "mac")
        return &row.mac;
    if (column == "id")
        return &row.id;
    if (column == "name")
        return &row.name;
    if (column == "ip")
        return &row.ip;
    if (column == "subnetMask")
        return &row.mask;
    if (column == "defaultGateway")
        return &row.gateway;
    if (column == "networkMethod")
        return &row.method;
    return nullptr;
}

void check_column(const std::string& column) {
    plan_row probe;
    if (cell_of(probe, column) == nullptr) {
        throw usage_error("unknown column \"" + column + "\" in the plan (known: " + known_columns +
                          ")");
    }
}

void check_row(const plan_row& row) {
    const std::string where = "plan row " + std::to_string(row.number);
    if (!row.serial_number && !row.mac && !row.id) {
        throw usage_error(where + " names no device: give serialNumber, mac or id");
    }
    if (row.method && *row.method != "DHCP" && *row.method != "PersistentIP") {
        throw usage_error(where + ": networkMethod is DHCP or PersistentIP, not \"" + *row.method +
                          "\"");
    }
}

// Splits one CSV record; a quoted cell may hold the separator, and "" in it
// stands for one quote. Returns false when the text ends inside quotes.
bool split_record(const std::string& text, std::size_t& at, char separator,
                  std::vector<std::string>& cells) {
    cells.assign(1, "");
    bool quoted = false;
    while (at < text.size()) {
        const char c = text[at++];
        if (quoted) {
            if (c == '"' && at < text.size() && text[at] == '"') {
                cells.back() += '"';
                ++at;
            } else if (c == '"') {
                quoted = false;
            } else {
                cells.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == separator) {
            cells.emplace_back();
        } else if (c == '\n') {
            break;
        } else if (c != '\r') {
            cells.back() += c;
        }
    }
    return !quoted;
}

char separator_of(const std::string& header_line) {
    return header_line.find(';') != std::string::npos && header_line.find(',') == std::string::npos
               ? ';'
               : ',';
}

}  // namespace

std::vector<plan_row> parse_csv_plan(const std::string& text) {
    const char separator = separator_of(text.substr(0, text.find('\n')));
    // Spreadsheets save "CSV UTF-8" with a byte order mark before the header.
    const std::string bom = "\xEF\xBB\xBF";
    std::size_t at = text.compare(0, bom.size(), bom) == 0 ? bom.size() : 0;
    std::vector<std::string> header;
    if (!split_record(text, at, separator, header) || (header.size() == 1 && header[0].empty())) {
        throw usage_error("the plan has no header row");
    }
    for (const auto& column : header) {
        check_column(column);
    }
    std::vector<plan_row> rows;
    std::vector<std::string> cells;
    while (at < text.size()) {
        if (!split_record(text, at, separator, cells)) {
            throw usage_error("plan row " + std::to_string(rows.size() + 1) +
                              " ends inside quotes");
        }
        if (cells.size() == 1 && cells[0].empty()) {
            continue;
        }
        plan_row row;
        row.number = static_cast<int>(rows.size()) + 1;
        if (cells.size() > header.size()) {
            throw usage_error("plan row " + std::to_string(row.number) + " has " +
                              std::to_string(cells.size()) + " cells, the header " +
                              std::to_string(header.size()));
        }
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (!cells[i].empty()) {
                *cell_of(row, header[i]) = cells[i];
            }
        }
        check_row(row);
        rows.push_back(row);
    }
    return rows;
}

std::vector<plan_row> parse_json_plan(const std::string& text) {
    const auto document = nlohmann::json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_array()) {
        throw usage_error("the plan is not a JSON array of objects");
    }
    std::vector<plan_row> rows;
    for (const auto& entry : document) {
        plan_row row;
        row.number = static_cast<int>(rows.size()) + 1;
        if (!entry.is_object()) {
            throw usage_error("plan row " + std::to_string(row.number) + " is not an object");
        }
        for (const auto& [column, value] : entry.items()) {
            check_column(column);
            if (!value.is_string()) {
                throw usage_error("plan row " + std::to_string(row.number) + ": " + column +
                                  " is not a string");
            }
            if (!value.get<std::string>().empty()) {
                *cell_of(row, column) = value.get<std::string>();
            }
        }
        check_row(row);
        rows.push_back(row);
    }
    return rows;
}

std::vector<plan_row> read_plan_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw usage_error("cannot read the plan \"" + path + "\"");
    }
    std::ostringstream text;
    text << in.rdbuf();
    const bool json = path.size() >= 5 && path.compare(path.size() - 5, 5, ".json") == 0;
    return json ? parse_json_plan(text.str()) : parse_csv_plan(text.str());
}

}  // namespace cli
