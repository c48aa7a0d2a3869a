// What a device costs in memory: N devices filled the way answers fill them
// (every text made at run time, as the conversion of an answer makes it, with
// a fleet's mix of shared and unique values), in a store, before and after a
// full state has kept their texts. The heap is read with mallinfo2(), so the
// figures are the allocator's own count of bytes in use, chunk headers and
// rounding included.
//
//   lanfinder_device_memory_bench [--devices N]

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSharedPointer>

#include "state/Device.h"
#include "state/DeviceStore.h"
#include "state/FullStateText.h"

namespace {

long long heapInUse() {
    malloc_trim(0);
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
}

// A text as an answer's conversion hands it over: a fresh copy every time.
QString fresh(const std::string& text) {
    return QString::fromStdString(text);
}

// Like the simulator's fleet: a few product lines, versions, masks and
// gateways shared by many devices; names, serial numbers, addresses unique.
void fill(Device& device, int i, std::mt19937& rng) {
    static const char* const types[] = {"Camera", "Sensor", "Gateway", "Controller"};
    static const char* const hardware[] = {"1.0", "2.1", "3.0"};
    static const char* const firmware[] = {"4.2.1", "5.0.3", "5.1.0", "6.0.0"};
    static const char* const gateways[] = {"10.61.0.1", "0.0.0.0"};
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const int line = pick(4);
    const std::string ip =
        "10.61." + std::to_string((i >> 8) & 255) + "." + std::to_string(i & 255);
    char mac[24];
    std::snprintf(mac, sizeof mac, "02:4c:46:%02x:%02x:%02x", (i >> 16) & 0xff, (i >> 8) & 0xff,
                  i & 0xff);
    device.name.set(fresh(std::string("Press ") + types[line] + " " + std::to_string(i % 9)));
    device.type.set(fresh(types[line]));
    device.url.set(fresh("http://" + ip + "/"));
    device.hwVersion.set(fresh(hardware[pick(3)]));
    device.fwVersion.set(fresh(firmware[pick(4)]));
    device.articleNumber.set(fresh("VA" + std::to_string(1000 + line * 100 + pick(90))));
    device.serialNumber.set(fresh(std::to_string(2400000 + i)));
    device.manufactureDate.set(fresh("202" + std::to_string(pick(6)) + "-0" +
                                     std::to_string(1 + pick(9)) + "-1" +
                                     std::to_string(pick(10))));
    device.manufacturer.set(fresh("Vostrel"));
    device.deviceState.set(DeviceAdministrationFbbApi::DeviceState::DeviceState_ACTIVE);
    if (pick(10) == 0) {
        device.statusStringDetails.set({fresh("Lens dirty")});
    }
    device.ipOfAssociatedNic.set(fresh("10.61.0.1"));
    device.ip.set(fresh(ip));
    device.mac.set(fresh(mac));
    device.defaultGateway.set(fresh(gateways[pick(2)]));
    device.subnetMask.set(fresh("255.255.0.0"));
    device.networkMethod.set(sdk::system::network_method_type::PERSISTENT_IP);
    device.supportsDHCP.set(true);
    device.supportsPersistentIP.set(true);
    device.supportsLocalize.set(line != 2);
    device.isAccessible.set(true);
    device.markSeen(QDateTime::currentDateTime(), 0);
}

int parseDevices(int argc, char** argv) {
    int devices = 10000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--devices") == 0 && i + 1 < argc) {
            devices = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: lanfinder_device_memory_bench [--devices N]\n");
            std::exit(2);
        }
    }
    return devices > 0 ? devices : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const int count = parseDevices(argc, argv);
    std::mt19937 rng(20);

    // Warm up what is made once per process (property names, Qt's statics).
    {
        DeviceStore warm;
        auto device = QSharedPointer<Device>::create(QStringLiteral("warm"));
        fill(*device, 0, rng);
        warm.add(device);
        QByteArray text;
        device->appendIndentedJson(text, 3);
    }

    const long long empty = heapInUse();
    auto* store = new DeviceStore;
    for (int i = 0; i < count; ++i) {
        char id[32];
        std::snprintf(id, sizeof id, "VA%d_%d", 1000 + i % 400, 2400000 + i);
        auto device = QSharedPointer<Device>::create(fresh(id));
        fill(*device, i, rng);
        store->add(device);
    }
    const long long filled = heapInUse();

    const QByteArray full = indentedWithDeviceList(
        QJsonObject{{QStringLiteral("devices"),
                     QJsonObject{{QStringLiteral("list"), deviceListPlaceholder()}}}},
        store->items());
    const long long fullSize = full.size();
    const long long kept = heapInUse() - fullSize;

    const double perDevice = static_cast<double>(filled - empty) / count;
    const double keptPerDevice = static_cast<double>(kept - filled) / count;
    std::printf("devices: %d, sizeof(Device) %zu bytes\n", count, sizeof(Device));
    std::printf("store: %.0f bytes a device (%.1f MB)\n", perDevice, (filled - empty) / 1e6);
    std::printf("kept texts after a full state: %.0f bytes a device (%.1f MB)\n", keptPerDevice,
                (kept - filled) / 1e6);
    // The kept texts must give the bytes of the whole document written at once.
    const bool same =
        full == QJsonDocument(QJsonObject{{QStringLiteral("devices"),
                                           QJsonObject{{QStringLiteral("list"), store->toJson()}}}})
                    .toJson(QJsonDocument::Indented);
    std::printf("full state: %lld bytes, %s the whole document\n", fullSize,
                same ? "equal to" : "DIFFERENT from");
    std::printf(
        "json: {\"devices\": %d, \"sizeofDevice\": %zu, \"storeBytesPerDevice\": %.0f, "
        "\"keptTextBytesPerDevice\": %.0f, \"fullStateBytes\": %lld}\n",
        count, sizeof(Device), perDevice, keptPerDevice, fullSize);
    delete store;
    return 0;
}
