// Card records cross the browser link and the state document; the reader
// either fills the record or throws its one failure text.

#include <QString>

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "device/NIC.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = fuzzsupport::silenceQt();
    (void)quiet;
    const QJsonValue value = fuzzsupport::jsonValue(data, size);
    NIC card;
    try {
        card.fromJson(value);
        NIC copy;
        copy.fromJson(card.toJson());
        (void)(copy == card);
    } catch (const QString&) {
    }
    return 0;
}
