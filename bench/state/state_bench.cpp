#include <vector>

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSharedPointer>

#include <benchmark/benchmark.h>

#include "state/AppNotification.h"
#include "state/Device.h"
#include "state/DeviceStore.h"
#include "state/Event.h"
#include "state/FullStateText.h"
#include "state/IStateProvider.h"
#include "state/StateCache.h"

namespace {

class EmptyProvider : public IStateProvider {
public:
    QJsonValue toJson() const override { return QJsonObject(); }
    QVector<QSharedPointer<AppNotification>> takeNotifications() override { return {}; }
};

std::vector<QSharedPointer<Device>> makeDevices(int count) {
    std::vector<QSharedPointer<Device>> devices;
    devices.reserve(count);
    for (int i = 0; i < count; ++i) {
        auto device = QSharedPointer<Device>::create(QStringLiteral("d_%1").arg(i));
        device->name.set(QStringLiteral("device %1").arg(i));
        devices.push_back(device);
    }
    return devices;
}

// A whole lab found and then dropped at once (its card went away) within one
// coalesced diff: every removal of a device added in the same diff. Only the
// removals are timed.
void BM_RemoveDevicesAddedInTheSameDiff(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const auto devices = makeDevices(count);
    EmptyProvider provider;
    StateCache cache(&provider);
    cache.setCoalescing(true);
    for (auto _ : state) {
        state.PauseTiming();
        for (const auto& device : devices) {
            cache.handle(DeviceAdded(device.data()));
        }
        state.ResumeTiming();
        for (const auto& device : devices) {
            cache.handle(DeviceRemoved(device->id.get()));
        }
        state.PauseTiming();
        cache.flush();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_RemoveDevicesAddedInTheSameDiff)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// What every event's stamp and every answer's lastSeen cost: one local
// date-time. Run with TZ unset and with TZ=:/etc/localtime (what the program
// pins at start) to see what the pinning saves.
void BM_LocalTimestamp(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(QDateTime::currentDateTime());
    }
}
BENCHMARK(BM_LocalTimestamp);

// A store of discovered devices with every stored key filled as a real
// answer fills it, and the rest of a full state around it.
class LabProvider : public IStateProvider {
public:
    explicit LabProvider(int count) {
        for (int i = 0; i < count; ++i) {
            auto device = QSharedPointer<Device>::create(
                QStringLiteral("00:1b:%1").arg(i, 6, 16, QLatin1Char('0')));
            device->name.set(QStringLiteral("Line %1 camera").arg(i % 50));
            device->hwVersion.set(QStringLiteral("2.1.0"));
            device->fwVersion.set(QStringLiteral("5.12.3"));
            device->articleNumber.set(QStringLiteral("va2000"));
            device->serialNumber.set(QStringLiteral("%1").arg(100000 + i));
            device->manufactureDate.set(QStringLiteral("2024-03-01"));
            device->manufacturer.set(QStringLiteral("Vostrel"));
            device->type.set(QStringLiteral("Camera"));
            device->url.set(QStringLiteral("http://10.%1.%2.%3/")
                                .arg(i >> 16)
                                .arg((i >> 8) & 255)
                                .arg(i & 255));
            device->statusStringDetails.set({QStringLiteral("warm"), QStringLiteral("lens dirty")});
            device->supportsDHCP.set(true);
            device->mac.set(QStringLiteral("00:1b:%1").arg(i, 6, 16, QLatin1Char('0')));
            device->ip.set(
                QStringLiteral("10.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255));
            device->subnetMask.set(QStringLiteral("255.0.0.0"));
            device->defaultGateway.set(QStringLiteral("10.0.0.1"));
            device->isAccessible.set(true);
            device->ipOfAssociatedNic.set(QStringLiteral("10.0.0.2"));
            devices.add(device);
        }
    }

    // Every device answers (a new lastSeen) and one in a hundred changes, as
    // between two browsers' requests in the steady state.
    void oneSecondLater(int round) {
        const QDateTime now = QDateTime::currentDateTime().addSecs(round);
        const auto& items = devices.items();
        for (int i = 0; i < items.size(); ++i) {
            items[i]->lastSeen.set(now);
            if (i % 100 == round % 100) {
                items[i]->name.set(QStringLiteral("renamed %1").arg(round));
            }
        }
    }

    QJsonObject stateJson(const QJsonValue& list) const {
        return QJsonObject{{QStringLiteral("autoScanner"), QJsonObject{{"isActive", true}}},
                           {QStringLiteral("devices"), QJsonObject{{QStringLiteral("list"), list}}},
                           {QStringLiteral("languages"), QJsonArray{"de", "en"}},
                           {QStringLiteral("theme"), QStringLiteral("light")}};
    }
    QJsonValue toJson() const override { return stateJson(devices.toJson()); }
    QVector<QSharedPointer<AppNotification>> takeNotifications() override { return {}; }

    DeviceStore devices;
};

// The full state a new browser waits for, written whole from the devices'
// values each time (as before the devices kept their text).
void BM_FullStateWrittenWhole(benchmark::State& state) {
    LabProvider provider(static_cast<int>(state.range(0)));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        provider.oneSecondLater(++round);
        state.ResumeTiming();
        benchmark::DoNotOptimize(
            QJsonDocument(provider.toJson().toObject()).toJson(QJsonDocument::Indented));
    }
}
BENCHMARK(BM_FullStateWrittenWhole)->Arg(10000)->Unit(benchmark::kMillisecond);

// The same bytes from the devices' kept text: only the changed devices and
// every lastSeen are written again.
void BM_FullStateFromKeptText(benchmark::State& state) {
    LabProvider provider(static_cast<int>(state.range(0)));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        provider.oneSecondLater(++round);
        state.ResumeTiming();
        benchmark::DoNotOptimize(indentedWithDeviceList(provider.stateJson(deviceListPlaceholder()),
                                                        provider.devices.items()));
    }
}
BENCHMARK(BM_FullStateFromKeptText)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // One debug line per change would measure the log, not the cache.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
