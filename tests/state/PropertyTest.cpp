#include <typeinfo>
#include <vector>

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "state/LanguageStore.h"
#include "state/Property.h"
#include "state/Serializable.h"

using DeviceAdministrationFbbApi::DeviceState;
using sdk::system::network_method_type;

namespace {

QString thrownBy(const std::function<void()>& read) {
    try {
        read();
    } catch (const QString& message) {
        return message;
    }
    return QStringLiteral("<nothing thrown>");
}

}  // namespace

TEST(PropertyValue, SetToNewValueCallsEveryListenerOnceInRegistrationOrder) {
    PropertyValue<int> property("scanIntervalMs", 1000);
    std::vector<int> calls;
    property.addListener(
        [&](const PropertyValue<int>& p) { calls.push_back(1 * 10000 + p.get()); });
    property.addListener(
        [&](const PropertyValue<int>& p) { calls.push_back(2 * 10000 + p.get()); });
    property.addListener(
        [&](const PropertyValue<int>& p) { calls.push_back(3 * 10000 + p.get()); });

    property.set(500);

    EXPECT_EQ(calls, (std::vector<int>{10500, 20500, 30500}));
    EXPECT_EQ(property.get(), 500);
}

// Both kinds of listener, in both orders of registration: the one held in
// place must not jump ahead of a listener registered before it.
TEST(PropertyValue, PlainAndFunctionListenersAreCalledInRegistrationOrder) {
    std::vector<int> calls;
    const auto notify = [](void* receiver, const PropertyValue<int>& p) {
        static_cast<std::vector<int>*>(receiver)->push_back(p.get());
    };
    PropertyValue<int> plainFirst("count", 0);
    plainFirst.addListener(notify, &calls);
    plainFirst.addListener([&](const PropertyValue<int>& p) { calls.push_back(-p.get()); });
    plainFirst.addListener(notify, &calls);
    plainFirst.set(1);
    EXPECT_EQ(calls, (std::vector<int>{1, -1, 1}));

    calls.clear();
    PropertyValue<int> functionFirst("count", 0);
    functionFirst.addListener([&](const PropertyValue<int>& p) { calls.push_back(-p.get()); });
    functionFirst.addListener(notify, &calls);
    functionFirst.set(2);
    EXPECT_EQ(calls, (std::vector<int>{-2, 2}));

    calls.clear();
    PropertyValue<int> copy = plainFirst;
    copy.set(3);
    EXPECT_EQ(calls, (std::vector<int>{3, -3, 3}));
}

// Equal values of a shared property hold one copy of their characters; an
// own property keeps what it was given; an empty text stays empty, not null.
TEST(PropertyValue, SharedTextsHoldEqualValuesOnce) {
    PropertyValue<QString> first("manufacturer", QString(), Property::Texts::Shared);
    PropertyValue<QString> second("manufacturer", QString(), Property::Texts::Shared);
    PropertyValue<QString> own("manufacturer", QString());
    const QString maker = QString::fromLatin1("Vostrel shared");
    first.set(maker);
    second.set(QString::fromLatin1("Vostrel shared"));
    own.set(QString::fromLatin1("Vostrel shared"));
    EXPECT_EQ(second.get(), maker);
    EXPECT_EQ(second.get().constData(), first.get().constData());
    EXPECT_NE(own.get().constData(), first.get().constData());
    EXPECT_EQ(own.name(), first.name());
    EXPECT_EQ(own.key(), first.key());

    second.set(QLatin1String(""));
    EXPECT_TRUE(second.get().isEmpty());
    EXPECT_FALSE(second.get().isNull());
}

// The set of shared texts is bounded: once it is full it starts afresh, and
// equal texts are shared again from then on.
TEST(PropertyValue, SharedTextsStayBounded) {
    const QString first = sharedText(QString::fromLatin1("bounded first"));
    EXPECT_EQ(sharedText(QString::fromLatin1("bounded first")).constData(), first.constData());
    for (int i = 0; i < sharedTextLimit; ++i) {
        sharedText(QString::fromLatin1("bounded %1").arg(i));
    }
    const QString again = sharedText(QString::fromLatin1("bounded first"));
    EXPECT_EQ(again, first);
    EXPECT_NE(again.constData(), first.constData());
    EXPECT_EQ(sharedText(QString::fromLatin1("bounded first")).constData(), again.constData());
}

TEST(PropertyValue, SetToCurrentValueCallsNoListener) {
    PropertyValue<QString> property("name", QStringLiteral("a"));
    int calls = 0;
    property.addListener([&](const PropertyValue<QString>&) { ++calls; });

    property.set(QStringLiteral("a"));
    EXPECT_EQ(calls, 0);
    property.set(QStringLiteral("b"));
    property.set(QStringLiteral("b"));
    EXPECT_EQ(calls, 1);
}

TEST(PropertyValue, ListenerSettingAnotherPropertyNestsItsNotification) {
    PropertyValue<bool> first("first", false);
    PropertyValue<bool> second("second", false);
    std::vector<QString> order;
    first.addListener([&](const PropertyValue<bool>&) {
        order.push_back(QStringLiteral("first"));
        second.set(true);
        order.push_back(QStringLiteral("first done"));
    });
    second.addListener(
        [&](const PropertyValue<bool>&) { order.push_back(QStringLiteral("second")); });

    first.set(true);

    EXPECT_EQ(order, (std::vector<QString>{QStringLiteral("first"), QStringLiteral("second"),
                                           QStringLiteral("first done")}));
}

TEST(PropertyValue, CopyCarriesNameValueAndListeners) {
    PropertyValue<int> original("count", 1);
    int calls = 0;
    original.addListener([&](const PropertyValue<int>&) { ++calls; });

    PropertyValue<int> copy = original;
    copy.set(2);

    EXPECT_EQ(copy.name(), "count");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(original.get(), 1);
}

TEST(PropertyAs, MatchingTypeGivesTheTypedProperty) {
    PropertyValue<QString> property("theme", QStringLiteral("dark"));
    Property& base = property;
    EXPECT_EQ(base.as<QString>().get(), QStringLiteral("dark"));
    EXPECT_EQ(&base.as<QString>(), &property);
}

TEST(PropertyAs, OtherTypeThrowsBadCast) {
    PropertyValue<QString> property("theme", QStringLiteral("dark"));
    const Property& base = property;
    EXPECT_THROW(base.as<int>(), std::bad_cast);
    EXPECT_THROW(base.as<QStringList>(), std::bad_cast);
}

// --- Readers ---------------------------------------------------------------

TEST(ReadJsonProperty, MissingKeyThrowsNameNotFound) {
    PropertyValue<bool> isFavorite("isFavorite", false);
    PropertyValue<QString> name("name", QString());
    PropertyValue<int> interval("scanIntervalMs", 0);
    PropertyValue<QDateTime> lastSeen("lastSeen", QDateTime());
    PropertyValue<QStringList> details("statusStringDetails", QStringList());
    PropertyValue<DeviceState> state("deviceState", DeviceState::DeviceState_UNKNOWN);
    PropertyValue<network_method_type> method("networkMethod", network_method_type::UNKNOWN);
    const QJsonObject empty;

    EXPECT_EQ(thrownBy([&] { readJsonProperty(isFavorite, empty); }), "isFavorite not found");
    EXPECT_EQ(thrownBy([&] { readJsonProperty(name, empty); }), "name not found");
    EXPECT_EQ(thrownBy([&] { readJsonProperty(interval, empty); }), "scanIntervalMs not found");
    EXPECT_EQ(thrownBy([&] { readJsonProperty(lastSeen, empty); }), "lastSeen not found");
    EXPECT_EQ(thrownBy([&] { readJsonProperty(details, empty); }), "statusStringDetails not found");
    EXPECT_EQ(thrownBy([&] { readJsonProperty(state, empty); }), "deviceState not found");
    EXPECT_EQ(thrownBy([&] { readJsonProperty(method, empty); }), "networkMethod not found");
}

struct MismatchCase {
    const char* reader;
    QJsonValue value;
    const char* expectedText;  // "" when the value is accepted
};

class ReadJsonPropertyTypes : public ::testing::TestWithParam<MismatchCase> {};

// Runs the named reader on {"p": value}; "" when it accepts the value.
QString readAs(const char* reader, const QJsonValue& value) {
    const QJsonObject object{{QStringLiteral("p"), value}};
    const QString kind = QLatin1String(reader);
    return thrownBy([&] {
        if (kind == "string") {
            PropertyValue<QString> p("p", QString());
            readJsonProperty(p, object);
        } else if (kind == "bool") {
            PropertyValue<bool> p("p", false);
            readJsonProperty(p, object);
        } else if (kind == "int") {
            PropertyValue<int> p("p", 0);
            readJsonProperty(p, object);
        } else if (kind == "datetime") {
            PropertyValue<QDateTime> p("p", QDateTime());
            readJsonProperty(p, object);
        } else if (kind == "list") {
            PropertyValue<QStringList> p("p", QStringList());
            readJsonProperty(p, object);
        } else if (kind == "state") {
            PropertyValue<DeviceState> p("p", DeviceState::DeviceState_UNKNOWN);
            readJsonProperty(p, object);
        } else if (kind == "method") {
            PropertyValue<network_method_type> p("p", network_method_type::UNKNOWN);
            readJsonProperty(p, object);
        }
        throw QString();
    });
}

TEST_P(ReadJsonPropertyTypes, AcceptsOnlyItsJsonType) {
    const MismatchCase& c = GetParam();
    const QString expected = *c.expectedText ? QStringLiteral("p value type mismatch. Expected ") +
                                                   QLatin1String(c.expectedText)
                                             : QString();
    EXPECT_EQ(readAs(c.reader, c.value), expected) << c.reader;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadJsonPropertyTypes,
    ::testing::Values(
        MismatchCase{"string", QJsonValue(QStringLiteral("x")), ""},
        MismatchCase{"string", QJsonValue(QJsonValue::Null), ""},
        MismatchCase{"string", QJsonValue(1), "string"},
        MismatchCase{"string", QJsonValue(true), "string"},
        MismatchCase{"string", QJsonArray(), "string"}, MismatchCase{"bool", QJsonValue(false), ""},
        MismatchCase{"bool", QJsonValue(1), "bool"},
        MismatchCase{"bool", QJsonValue(QStringLiteral("true")), "bool"},
        MismatchCase{"bool", QJsonValue(QJsonValue::Null), "bool"},
        MismatchCase{"int", QJsonValue(7), ""}, MismatchCase{"int", QJsonValue(7.5), ""},
        MismatchCase{"int", QJsonValue(QStringLiteral("7")), "int"},
        MismatchCase{"int", QJsonValue(true), "int"},
        MismatchCase{"datetime", QJsonValue(QStringLiteral("2026-01-02T03:04:05")), ""},
        MismatchCase{"datetime", QJsonValue(QStringLiteral("yesterday")), ""},
        MismatchCase{"datetime", QJsonValue(QJsonValue::Null), "string"},
        MismatchCase{"datetime", QJsonValue(12), "string"},
        MismatchCase{"list", QJsonArray{1, QStringLiteral("a")}, ""},
        MismatchCase{"list", QJsonValue(QStringLiteral("a")), "array"},
        MismatchCase{"list", QJsonValue(QJsonValue::Null), "array"},
        MismatchCase{"state", QJsonValue(QStringLiteral("ACTIVE")), ""},
        MismatchCase{"state", QJsonValue(0), "string"},
        MismatchCase{"state", QJsonValue(QJsonValue::Null), "string"},
        MismatchCase{"method", QJsonValue(QStringLiteral("DHCP")), ""},
        MismatchCase{"method", QJsonValue(1), "string"},
        MismatchCase{"method", QJsonValue(QJsonValue::Null), "string"}));

TEST(ReadJsonProperty, NullReadsAsEmptyStringAndNotifiesOnlyOnChange) {
    PropertyValue<QString> name("name", QString());
    int calls = 0;
    name.addListener([&](const PropertyValue<QString>&) { ++calls; });
    const QJsonObject nullName{{QStringLiteral("name"), QJsonValue::Null}};

    readJsonProperty(name, nullName);
    EXPECT_EQ(calls, 0);

    name.set(QStringLiteral("cam"));
    calls = 0;
    readJsonProperty(name, nullName);
    EXPECT_EQ(name.get(), QString());
    EXPECT_EQ(calls, 1);
}

TEST(ReadJsonProperty, IntKeepsWholeNumbersInRangeAndReadsOthersAsZero) {
    const std::vector<std::pair<double, int>> table{{0, 0},
                                                    {1500, 1500},
                                                    {-3, -3},
                                                    {2147483647.0, 2147483647},
                                                    {-2147483648.0, -2147483647 - 1},
                                                    {2147483648.0, 0},
                                                    {-2147483649.0, 0},
                                                    {1.5, 0},
                                                    {1e300, 0}};
    for (const auto& [number, expected] : table) {
        PropertyValue<int> p("n", 99);
        readJsonProperty(p, QJsonObject{{QStringLiteral("n"), number}});
        EXPECT_EQ(p.get(), expected) << number;
    }
}

TEST(ReadJsonProperty, StringListConvertsEveryElementToText) {
    PropertyValue<QStringList> p("statusStringDetails", QStringList());
    readJsonProperty(
        p, QJsonObject{{QStringLiteral("statusStringDetails"),
                        QJsonArray{QStringLiteral("a"), 42, 2.5, true, false, QJsonValue::Null}}});
    EXPECT_EQ(p.get(), (QStringList{"a", "42", "2.5", "true", "false", ""}));
}

TEST(ReadJsonProperty, DateTimeParsesIsoTextAndKeepsUnparsableAsInvalid) {
    PropertyValue<QDateTime> p("lastSeen", QDateTime());
    readJsonProperty(
        p, QJsonObject{{QStringLiteral("lastSeen"), QStringLiteral("2026-01-02T03:04:05Z")}});
    EXPECT_EQ(p.get(), QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC));

    readJsonProperty(p, QJsonObject{{QStringLiteral("lastSeen"), QStringLiteral("not a date")}});
    EXPECT_FALSE(p.get().isValid());
}

TEST(ReadJsonProperty, DeviceStateTextsMatchExactlyWithoutPrefix) {
    const std::vector<std::pair<QString, DeviceState>> table{
        {"ACTIVE", DeviceState::DeviceState_ACTIVE},
        {"WARNING", DeviceState::DeviceState_WARNING},
        {"ERROR", DeviceState::DeviceState_ERROR},
        {"LOCALIZE", DeviceState::DeviceState_LOCALIZE},
        {"UNKNOWN", DeviceState::DeviceState_UNKNOWN},
        {"active", DeviceState::DeviceState_UNKNOWN},
        {"DeviceState_ACTIVE", DeviceState::DeviceState_UNKNOWN},
        {"", DeviceState::DeviceState_UNKNOWN},
    };
    for (const auto& [text, expected] : table) {
        PropertyValue<DeviceState> p("deviceState", DeviceState::DeviceState_ERROR);
        if (expected == DeviceState::DeviceState_ERROR) {
            p.set(DeviceState::DeviceState_ACTIVE);
        }
        readJsonProperty(p, QJsonObject{{QStringLiteral("deviceState"), text}});
        EXPECT_EQ(p.get(), expected) << text.toStdString();
    }
}

TEST(ReadJsonProperty, NetworkMethodTextsAndAnythingElseIsUnknown) {
    const std::vector<std::pair<QString, network_method_type>> table{
        {"DHCP", network_method_type::DHCP},
        {"PersistentIP", network_method_type::PERSISTENT_IP},
        {"Unknown", network_method_type::UNKNOWN},
        {"dhcp", network_method_type::UNKNOWN},
        {"PERSISTENT_IP", network_method_type::UNKNOWN},
        {"Static", network_method_type::UNKNOWN},
    };
    for (const auto& [text, expected] : table) {
        PropertyValue<network_method_type> p("networkMethod", network_method_type::DHCP);
        if (expected == network_method_type::DHCP) {
            p.set(network_method_type::PERSISTENT_IP);
        }
        readJsonProperty(p, QJsonObject{{QStringLiteral("networkMethod"), text}});
        EXPECT_EQ(p.get(), expected) << text.toStdString();
    }
}

// --- JSON forms ----------------------------------------------------------------

// The browsers and the settings file read these texts. A device state's is
// the protocol library's name without "DeviceState_"; a network method's is
// the browser's own, not the library's ("PERSISTENT_IP").
TEST(JsonForm, EnumsWriteTheirTextsAndUnlistedValuesWriteEmpty) {
    EXPECT_EQ(toJsonValue(DeviceState::DeviceState_ACTIVE), QJsonValue("ACTIVE"));
    EXPECT_EQ(toJsonValue(DeviceState::DeviceState_WARNING), QJsonValue("WARNING"));
    EXPECT_EQ(toJsonValue(DeviceState::DeviceState_ERROR), QJsonValue("ERROR"));
    EXPECT_EQ(toJsonValue(DeviceState::DeviceState_LOCALIZE), QJsonValue("LOCALIZE"));
    EXPECT_EQ(toJsonValue(DeviceState::DeviceState_UNKNOWN), QJsonValue("UNKNOWN"));
    EXPECT_EQ(toJsonValue(static_cast<DeviceState>(7)), QJsonValue(""));
    EXPECT_EQ(toJsonValue(network_method_type::UNKNOWN), QJsonValue("Unknown"));
    EXPECT_EQ(toJsonValue(network_method_type::DHCP), QJsonValue("DHCP"));
    EXPECT_EQ(toJsonValue(network_method_type::PERSISTENT_IP), QJsonValue("PersistentIP"));
    EXPECT_EQ(toJsonValue(static_cast<network_method_type>(2)), QJsonValue(""));
}

TEST(JsonForm, DateTimeIsNullOrIsoText) {
    EXPECT_TRUE(toJsonValue(QDateTime()).isNull());
    EXPECT_EQ(toJsonValue(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC)),
              QJsonValue("2026-01-02T03:04:05Z"));
}

TEST(JsonForm, WriteJsonPropertyUsesTheNameAsKey) {
    QJsonObject object;
    writeJsonProperty(object, PropertyValue<QStringList>("statusStringDetails", {"a", "b"}));
    writeJsonProperty(object, PropertyValue<bool>("isFavorite", true));
    EXPECT_EQ(object,
              (QJsonObject{{"statusStringDetails", QJsonArray{"a", "b"}}, {"isFavorite", true}}));
}

// --- Collections ---------------------------------------------------------------

namespace {

// A record whose read fails on the text "bad".
struct Word : ISerializable {
    QJsonValue toJson() const override { return text.get(); }
    bool fromJson(const QJsonValue& value) override {
        if (value.toString() == QStringLiteral("bad")) {
            throw QString(QStringLiteral("word not found"));
        }
        text.set(value.toString());
        return true;
    }
    PropertyValue<QString> text{"text", QString()};
};

class Words : public ISerializableCollection<Word> {};

}  // namespace

TEST(SerializableCollection, ReadAppendsToTheItemsAlreadyHeld) {
    Words words;
    words.fromJson(QJsonArray{"a", "b"});
    words.fromJson(QJsonArray{"c", "d", "e"});
    EXPECT_EQ(words.items().size(), 5);
    EXPECT_EQ(words.toJson(), QJsonValue(QJsonArray{"a", "b", "c", "d", "e"}));
}

TEST(SerializableCollection, FailingElementEndsTheReadAndKeepsTheEarlierOnes) {
    Words words;
    EXPECT_EQ(thrownBy([&] { words.fromJson(QJsonArray{"a", "bad", "c"}); }), "word not found");
    EXPECT_EQ(words.toJson(), QJsonValue(QJsonArray{"a"}));
}
