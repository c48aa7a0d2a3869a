#include <functional>
#include <vector>

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "StateTestSupport.h"
#include "state/DeviceStore.h"
#include "state/FullStateText.h"

using namespace statetest;

namespace {

// A document shaped like the browsers' full state around the device list.
QJsonObject documentWith(const QJsonValue& list) {
    return QJsonObject{{QStringLiteral("autoScanner"), QJsonObject{{"isActive", true}}},
                       {QStringLiteral("devices"), QJsonObject{{QStringLiteral("list"), list}}},
                       {QStringLiteral("nics"), QJsonArray{QJsonObject{{"ip", "10.0.0.1"}}}},
                       {QStringLiteral("theme"), QStringLiteral("dark")}};
}

QByteArray plainText(const DeviceStore& store) {
    return QJsonDocument(documentWith(store.toJson())).toJson(QJsonDocument::Indented);
}

QByteArray keptText(const DeviceStore& store) {
    return indentedWithDeviceList(documentWith(deviceListPlaceholder()), store.items());
}

struct Step {
    const char* what;
    std::function<void(DeviceStore&)> apply;
};

QSharedPointer<Device> deviceAt(DeviceStore& store, int index) {
    return store.items().at(index);
}

}  // namespace

// Every step is followed by a full state, which must be the bytes that the
// whole document written at once would be, whatever text was kept before.
TEST(FullStateText, EqualsTheWholeDocumentWrittenAtOnceOverASequenceOfChanges) {
    const QDateTime seen(QDate(2026, 3, 1), QTime(12, 0, 0), Qt::LocalTime);
    QSharedPointer<Device> removed;
    const std::vector<Step> steps = {
        {"empty store", [](DeviceStore&) {}},
        {"one device", [](DeviceStore& s) { s.add(sampleDevice(QStringLiteral("a_1"))); }},
        {"a second device never seen",
         [](DeviceStore& s) { s.add(QSharedPointer<Device>::create(QStringLiteral("b_2"))); }},
        {"a third with a name full of JSON",
         [](DeviceStore& s) {
             auto device = sampleDevice(QStringLiteral("c_3"));
             device->name.set(QStringLiteral("\"lastSeen\": \"\x01lastSeen\x01\"\n\\ é ☃,\n"
                                             "                \"mac\": ") +
                              QChar(0));
             s.add(device);
         }},
        {"a device changed twice between requests",
         [](DeviceStore& s) {
             deviceAt(s, 0)->name.set(QStringLiteral("first"));
             deviceAt(s, 0)->ip.set(QStringLiteral("10.1.2.3"));
         }},
        {"a change and its undoing between requests",
         [](DeviceStore& s) {
             deviceAt(s, 1)->isFavorite.set(true);
             deviceAt(s, 1)->isFavorite.set(false);
         }},
        {"lastSeen only, which raises no change event",
         [seen](DeviceStore& s) { deviceAt(s, 1)->lastSeen.set(seen); }},
        {"lastSeen a second later",
         [seen](DeviceStore& s) { deviceAt(s, 1)->lastSeen.set(seen.addSecs(1)); }},
        {"lastSeen the same instant in UTC",
         [seen](DeviceStore& s) { deviceAt(s, 1)->lastSeen.set(seen.addSecs(1).toUTC()); }},
        {"lastSeen the same instant at another offset",
         [seen](DeviceStore& s) {
             deviceAt(s, 1)->lastSeen.set(seen.addSecs(1).toOffsetFromUtc(3600));
         }},
        {"lastSeen back to never",
         [](DeviceStore& s) { deviceAt(s, 1)->lastSeen.set(QDateTime()); }},
        {"a string list grows",
         [](DeviceStore& s) {
             deviceAt(s, 2)->statusStringDetails.set({QStringLiteral("x"), QStringLiteral("y")});
         }},
        {"the first device removed",
         [&removed](DeviceStore& s) {
             removed = deviceAt(s, 0);
             s.remove(removed);
         }},
        {"removed and added again, changed meanwhile",
         [&removed](DeviceStore& s) {
             removed->mac.set(QStringLiteral("00:11:22:33:44:55"));
             s.add(removed);
         }},
        {"devices read from a document, which raise no events at first",
         [](DeviceStore& s) {
             QJsonArray list{sampleDevice(QStringLiteral("d_4"))->toJson()};
             s.loadPersisted(list);
         }},
        {"every device removed",
         [](DeviceStore& s) {
             while (!s.items().isEmpty()) {
                 s.remove(deviceAt(s, 0));
             }
         }},
    };

    DeviceStore store;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.apply(store);
        EXPECT_EQ(keptText(store), plainText(store));
        // Asked again without a change in between: the kept text alone.
        EXPECT_EQ(keptText(store), plainText(store));
    }
}

// A device read from a document raises no change events, so nothing tells its
// kept text that it went stale: it must be written afresh every time.
TEST(FullStateText, ADeviceWithoutChangeEventsIsNeverServedFromKeptText) {
    Device device;
    device.fromJson(sampleDevice(QStringLiteral("e_5"))->toJson());
    QByteArray before;
    device.appendIndentedJson(before, 3);
    device.name.set(QStringLiteral("renamed silently"));
    QByteArray after;
    device.appendIndentedJson(after, 3);
    EXPECT_NE(before, after);
    EXPECT_TRUE(after.contains("renamed silently"));
}

TEST(FullStateText, ADocumentWithoutThePlaceholderIsWrittenAsItIs) {
    const QJsonObject document{{QStringLiteral("theme"), QStringLiteral("light")}};
    EXPECT_EQ(indentedWithDeviceList(document, {}),
              QJsonDocument(document).toJson(QJsonDocument::Indented));
}
