#include <vector>

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSharedPointer>

#include <benchmark/benchmark.h>

#include "state/AppNotification.h"
#include "state/Device.h"
#include "state/Event.h"
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

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // One debug line per change would measure the log, not the cache.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
