#pragma once

#include <memory>
#include <optional>

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <beacon/system_types.h>

#include "state/FullStateText.h"
#include "state/ICacheNotifier.h"
#include "state/Property.h"
#include "state/SeenBoard.h"
#include "state/Serializable.h"

// The application's record of one discovered device. Always held through
// QSharedPointer<Device>; the store and the event processor share it.
struct Device : ISerializable, ICacheNotifier {
    // For discovered devices: registers the change listeners, so every
    // property change but lastSeen raises a DeviceChanged.
    explicit Device(const QString& id);
    // For devices read from JSON: no listeners until enableChangeEvents().
    Device();
    // The listeners capture this device; a copy would report as the original.
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    // Releases a settled key: a device that leaves takes its answers along.
    ~Device() override;

    // The 28 stored keys (all but shouldProcess and processingStartedTime).
    QJsonValue toJson() const override;
    // Reads the 28 keys, each required; the first failing key throws.
    bool fromJson(const QJsonValue& value) override;

    // Registers the change listeners once; later calls do nothing. The
    // identity constructor calls it; the store calls it for devices it reads
    // from JSON once their id is known.
    void enableChangeEvents();
    bool hasChangeEvents() const { return m_changeEvents; }

    // Appends toJson() as the full state document writes it at the given
    // nesting level (QJsonDocument's indented form, without the indent before
    // the opening brace). The text is kept and written again only after a
    // change event, so a full state costs little for the unchanged devices.
    void appendIndentedJson(QByteArray& out, int level) const;

    // An answer now: lastSeen (local time, for the documents) and the
    // monotonic reading (Clock::monotonicMs) that silence is measured from.
    void markSeen(const QDateTime& now, qint64 monotonicMs);
    // How long the device has been silent at the monotonic reading nowMs,
    // answers taken off the main thread included: nothing for a device never
    // seen (null lastSeen); the longest duration for one whose lastSeen came
    // from a document and that has not answered since, as before this run
    // counts as long ago.
    std::optional<qint64> silentForMs(qint64 nowMs) const;
    // Whether silentForMs(nowMs) reaches thresholdMs. The answer time last
    // read off the board is proof enough that a device is not yet silent,
    // so the board is asked only when that one is older than the threshold:
    // the silence check runs over every device every second.
    bool silentForAtLeast(qint64 nowMs, qint64 thresholdMs) const;
    // Brings lastSeen up to the newest answer taken off the main thread, if
    // one is newer (the local time is worked out only here: converting one
    // per answer would cost more than the rest of a repeat). toJson() and
    // appendIndentedJson() call it; so does whoever reads lastSeen.
    void refreshSeen() const;

    // From now on answers with `key` from the card `cardIp` are taken as
    // seen off the main thread and noted on the board (a key settled before
    // is released first).
    void settle(const std::shared_ptr<SeenBoard>& board, quint64 key, const QString& cardIp);
    // No more answers are taken off the main thread until the next settle:
    // what the device holds is about to change, or it leaves the store. The
    // answers taken so far count as seen.
    void unsettle();

    // The repeat key of the answer the device's values were last copied
    // from (0: none, or one the library did not compare). An answer with the
    // same key holds the same values, so copying them again can be skipped.
    quint64 answerKey() const { return m_answerKey; }
    void setAnswerKey(quint64 key) { m_answerKey = key; }

    // Shared texts: the values that a plant's devices of one kind repeat.
    PropertyValue<QString> id{"id", QString()};
    PropertyValue<QString> name{"name", QString()};
    PropertyValue<QString> hwVersion{"hwVersion", QString(), Property::Texts::Shared};
    PropertyValue<QString> fwVersion{"fwVersion", QString(), Property::Texts::Shared};
    PropertyValue<QString> articleNumber{"articleNumber", QString(), Property::Texts::Shared};
    PropertyValue<QString> serialNumber{"serialNumber", QString()};
    PropertyValue<QString> manufactureDate{"manufactureDate", QString(), Property::Texts::Shared};
    PropertyValue<QString> manufacturer{"manufacturer", QString(), Property::Texts::Shared};
    PropertyValue<QString> type{"type", QString(), Property::Texts::Shared};
    PropertyValue<QString> url{"url", QString()};
    PropertyValue<sdk::system::network_method_type> networkMethod{
        "networkMethod", sdk::system::network_method_type::UNKNOWN};
    PropertyValue<DeviceAdministrationFbbApi::DeviceState> deviceState{
        "deviceState", DeviceAdministrationFbbApi::DeviceState::DeviceState_UNKNOWN};
    PropertyValue<QStringList> statusStringDetails{"statusStringDetails", QStringList()};
    PropertyValue<bool> supportsDHCP{"supportsDHCP", false};
    PropertyValue<bool> supportsPersistentIP{"supportsPersistentIP", false};
    PropertyValue<bool> supportsLocalize{"supportsLocalize", false};
    PropertyValue<QString> mac{"mac", QString()};
    PropertyValue<QString> ip{"ip", QString()};
    PropertyValue<QString> subnetMask{"subnetMask", QString(), Property::Texts::Shared};
    PropertyValue<QString> defaultGateway{"defaultGateway", QString(), Property::Texts::Shared};
    PropertyValue<bool> shouldProcess{"shouldProcess", false};
    PropertyValue<bool> isProcessing{"isProcessing", false};
    PropertyValue<bool> isRebooting{"isRebooting", false};
    PropertyValue<bool> isMissing{"isMissing", false};
    PropertyValue<bool> isFavorite{"isFavorite", false};
    PropertyValue<bool> isAccessible{"isAccessible", false};
    PropertyValue<bool> isAuthentication{"isAuthentication", false};
    PropertyValue<QString> ipOfAssociatedNic{"ipOfAssociatedNic", QString(),
                                             Property::Texts::Shared};
    // Mutable: refreshSeen() folds in answers taken off the main thread, which
    // raise no event, whenever the value is read.
    mutable PropertyValue<QDateTime> lastSeen{"lastSeen", QDateTime()};
    PropertyValue<QDateTime> processingStartedTime{"processingStartedTime", QDateTime()};

private:
    template <typename T>
    static void changed(void* device, const PropertyValue<T>& property);
    template <typename T>
    void listenTo(PropertyValue<T>& property);

    bool m_changeEvents = false;
    // Counts the change events raised, so the kept text knows it is stale.
    quint64 m_changes = 0;
    mutable DeviceText m_text;
    // The monotonic reading lastSeen stands for.
    mutable std::optional<qint64> m_seenAtMs;
    // The newest answer taken off the main thread (Clock::monotonicMs).
    qint64 takenMs() const;
    std::weak_ptr<SeenBoard> m_board;
    quint64 m_settledKey = 0;
    // The newest answer taken off the main thread that the device knows of:
    // read off the board when last looked up, or handed over by a release.
    mutable qint64 m_takenMs = SeenBoard::never;
    quint64 m_answerKey = 0;
};
