#pragma once

// Plan rows matched to the devices a scan found, and the checks that keep a
// change from being sent at all.

#include <string>
#include <vector>

#include "apply_plan.h"
#include "found_device.h"
#include "settings_plan.h"

namespace cli {

enum class item_status { pending, done, failed, cancelled };

struct apply_item {
    plan_row row;
    // Empty when the row matched no device or several.
    std::string device_id;
    found_device device;
    wanted_settings wanted;
    item_status status = item_status::pending;
    std::string message;
};

// One item per row. A row matches a device when every key it gives
// (serialNumber, mac, id; case and MAC separators aside) is the device's.
// Rows matching none or several fail here, never guessed.
std::vector<apply_item> match_plan(const std::vector<plan_row>& rows,
                                   const std::vector<found_device>& devices);

// Fails the pending items whose change cannot be sound: an address that is
// no host on the mask's subnet or a gateway off it ("Invalid address"), the
// current address of another found device ("Address in use by <id>"), one
// address for two devices ("Address planned twice"), or two rows for one
// device ("Device planned twice"). DHCP changes and kept
// addresses are not checked.
void preflight(std::vector<apply_item>& items, const std::vector<found_device>& devices);

std::string status_text(item_status status);

}  // namespace cli
