// Device records come back from the settings file, which the user may have
// edited: the reader either fills the record or throws its one failure text.

#include <QJsonArray>
#include <QString>

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "state/Device.h"
#include "state/DeviceStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = fuzzsupport::silenceQt();
    (void)quiet;
    const QJsonValue value = fuzzsupport::jsonValue(data, size);

    Device device;
    try {
        device.fromJson(value);
        // A record that was read must write back out.
        (void)device.toJson();
    } catch (const QString&) {
    }

    // A list goes through the store, which indexes what it reads.
    if (value.isArray()) {
        DeviceStore store;
        try {
            store.fromJson(value);
        } catch (const QString&) {
        }
        for (const auto& item : store.items()) {
            (void)store.find(item->id.get(), true);
        }
    }
    return 0;
}
