#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/IGuiBackend.h"
#include "app/ProtocolState.h"
#include "device/IProtocolEngine.h"
#include "device/NIC.h"
#include "device/ProtocolEngine.h"
#include "state/ICacheNotifier.h"
#include "state/IStateProvider.h"
#include "state/Property.h"
#include "state/Result.h"
#include "state/Serializable.h"

class AppNotificationStore;
class AutoScanner;
class BatchReport;
class CardWatcher;
class DeviceStore;
class EventProcessor;
class GuiHandler;
class LanguageStore;
class NICModel;
class NetworkMonitor;
class SeenBoard;

struct SetConfigurationRequest;

// The seams of the backend. Left empty, each takes the program's own choice.
struct BackendOptions {
    // The computer's cards; default: the operating system's wired cards.
    std::function<QVector<NIC>()> queryCards;
    // Makes the protocol engine around a provider; default: a ProtocolEngine.
    std::function<QSharedPointer<IProtocolEngine>(IProtocolProvider)> makeEngine;
    // Where saveSettings() writes; default: settingsFilePath().
    QString settingsPath;
    // The translation folder whose "*.json" names are the languages;
    // default: webFolderPath() + "/translations_json/".
    QString languageFolder;
    // Checks every item of a batch before anything is sent; default: the
    // checks of a single change (EventProcessor::checkChange).
    std::function<void(const SetConfigurationRequest& item,
                       std::function<void(const QString& refusal)> done)>
        batchPreFlight;
    // How often the card list is read again.
    std::chrono::milliseconds cardWatchPeriod = std::chrono::seconds(1);
};

// Owns the application state and the objects that change it, answers the
// browsers' requests, tracks the protocol state, runs the protocol while a
// browser is connected and restarts it when the computer's cards change.
// Lives on the main thread.
class Backend : public QObject,
                public ISerializable,
                public ICacheNotifier,
                public IStateProvider,
                public IGuiBackend {
    Q_OBJECT

public:
    explicit Backend(BackendOptions options = {});
    // Stops and joins the card watch thread before any member goes.
    ~Backend() override;

    // Enables disconnect detection, starts the engine, scans once and
    // switches the auto scanner on.
    void start();

    // The full state: "autoScanner", "batch", "devices" {"list"}, "nics", "languages",
    // "protocolState", "theme", "language", "version".
    QJsonValue toJson() const override;
    // toJson() as indented JSON, with the devices' kept text.
    QByteArray fullStateText() const override;
    // Reads "language", "theme", then "devices"."list" into the store.
    bool fromJson(const QJsonValue& value) override;
    // As fromJson(), but the devices come back as missing, idle favourites.
    bool loadSettings(const QJsonValue& value);
    // {"devices": {"list": [favourites]}, "language", "remoteAccess", "theme"}
    QJsonObject settingsJson() const;

    // Whether browsers on other computers may connect (with the run's token).
    // Only the settings file turns it on; not part of the browsers' state.
    bool remoteAccess() const { return m_remoteAccess; }

    QVector<QSharedPointer<AppNotification>> takeNotifications() override;

    void setLanguage(const QString& language) override;
    void setTheme(const QString& theme) override;
    void saveSettings() override;

    const QString& settingsPath() const { return m_settingsPath; }

    DeviceStore& devices() const { return *m_devices; }
    AppNotificationStore& notifications() const { return *m_notifications; }
    NICModel& nics() const { return *m_nics; }
    IProtocolEngine& engine() const { return *m_engine; }
    AutoScanner& autoScanner() const { return *m_autoScanner; }

    PropertyValue<QString> language{"language", QStringLiteral("en")};
    PropertyValue<QString> theme{"theme", QStringLiteral("light")};
    // The program's version (lanfinder/Version.h, generated from the project's).
    PropertyValue<QString> version;
    ProtocolState protocolState;

signals:
    void guiMessageHandled(Result result);

public slots:
    void handleGuiMessage(uint64_t clientID, QByteArray msg);
    void handleActiveConnections(std::size_t count);

private:
    // toJson() with deviceList at "devices"."list".
    QJsonObject stateJson(const QJsonValue& deviceList) const;
    void onProtocolStateChanged(IProtocolEngine::State state, const QString& details);
    // Runs on the main thread, queued there by the card watch thread.
    void applyCards(const QVector<NIC>& cards);
    void readSettings(const QJsonValue& value, bool asPersisted);

    QString m_settingsPath;
    bool m_remoteAccess = false;
    QSharedPointer<DeviceStore> m_devices;
    QSharedPointer<AppNotificationStore> m_notifications;
    QSharedPointer<NICModel> m_nics;
    QSharedPointer<IProtocolEngine> m_engine;
    QSharedPointer<EventProcessor> m_processor;
    std::shared_ptr<SeenBoard> m_seenBoard;
    QSharedPointer<AutoScanner> m_autoScanner;
    QSharedPointer<NetworkMonitor> m_monitor;
    QSharedPointer<GuiHandler> m_guiHandler;
    std::unique_ptr<BatchReport> m_batchReport;
    QSharedPointer<LanguageStore> m_languages;
    std::unique_ptr<CardWatcher> m_cardWatcher;
};

// Builds the application's backend from the settings document read at
// start-up. A null document keeps the defaults. A document that fails
// validation is logged, the file at the settings path is kept aside (so no
// later save destroys the user's favourites) and a fresh default backend is
// returned instead.
QSharedPointer<Backend> createBackend(const QJsonDocument& document, BackendOptions options = {});
