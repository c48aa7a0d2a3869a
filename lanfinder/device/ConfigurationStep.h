#pragma once

// Where one configuration request of a device stands, as the event processor
// decides it from the device's answer, its silence and its return. Succeeded
// and Failed end the request; nothing follows them.
enum class ConfigurationStep { Processing, Rebooting, Succeeded, Failed };
