// The settings file is read once at start-up and may hold anything: the
// backend built from it either takes it in or falls back to the defaults.

#include <QDir>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "FakeProtocolEngine.h"
#include "FuzzSupport.h"
#include "app/Backend.h"
#include "state/DeviceStore.h"

namespace {

NIC oneCard() {
    NIC card;
    card.name.set(QStringLiteral("eth0"));
    card.mac.set(QStringLiteral("00:11:22:33:44:55"));
    card.addresses.set({NIC::Address(QStringLiteral("10.0.0.1"), QStringLiteral("255.255.255.0"))});
    card.gateways.set({QStringLiteral("0.0.0.0")});
    return card;
}

// A private folder: the rejected file would be moved aside there, and the
// language list is read from it.
const QTemporaryDir& folder() {
    static const QTemporaryDir dir;
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = fuzzsupport::silenceQt();
    (void)quiet;

    BackendOptions options;
    options.queryCards = [] { return QVector<NIC>{oneCard()}; };
    options.makeEngine = [](IProtocolProvider) {
        return QSharedPointer<IProtocolEngine>(QSharedPointer<fakes::FakeProtocolEngine>::create());
    };
    options.settingsPath = folder().filePath(QStringLiteral("settings.json"));
    options.languageFolder = folder().path() + QStringLiteral("/");
    // The card watcher must not wake during a run.
    options.cardWatchPeriod = std::chrono::hours(1);

    const QJsonDocument document = QJsonDocument::fromJson(fuzzsupport::bytes(data, size));
    const QSharedPointer<Backend> backend = createBackend(document, options);
    // What was taken in is written back on the next save.
    (void)backend->settingsJson();
    (void)backend->toJson();
    return 0;
}
