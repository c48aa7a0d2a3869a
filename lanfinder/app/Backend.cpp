#include "app/Backend.h"

#include <QDebug>
#include <QJsonArray>

#include <beacon/idevice_protocol.h>

#include "app/CardWatcher.h"
#include "app/GuiHandler.h"
#include "app/ProtocolProvider.h"
#include "device/AutoScanner.h"
#include "device/EventProcessor.h"
#include "device/NICModel.h"
#include "device/NetworkInterfaces.h"
#include "device/NetworkMonitor.h"
#include "lanfinder/Version.h"
#include "state/AppNotification.h"
#include "state/BatchReport.h"
#include "state/Clock.h"
#include "state/DeviceStore.h"
#include "state/Event.h"
#include "state/FullStateText.h"
#include "state/LanguageStore.h"
#include "state/SeenBoard.h"
#include "state/Settings.h"

namespace {

BackendOptions withDefaults(BackendOptions options) {
    if (!options.queryCards) {
        options.queryCards = queryNetworkInterfaces;
    }
    if (!options.makeEngine) {
        options.makeEngine = [](IProtocolProvider provider) {
            return QSharedPointer<IProtocolEngine>(new ProtocolEngine(std::move(provider)));
        };
    }
    if (options.settingsPath.isEmpty()) {
        options.settingsPath = settingsFilePath();
    }
    if (options.languageFolder.isEmpty()) {
        options.languageFolder = webFolderPath() + QStringLiteral("/translations_json/");
    }
    return options;
}

}  // namespace

Backend::Backend(BackendOptions givenOptions)
    : version("version", QString::fromLatin1(lanfinder::version)) {
    const BackendOptions options = withDefaults(std::move(givenOptions));
    qRegisterMetaType<Result>("Result");
    m_settingsPath = options.settingsPath;

    const QVector<NIC> cards = options.queryCards();
    m_devices = QSharedPointer<DeviceStore>::create();
    m_notifications = QSharedPointer<AppNotificationStore>::create();
    m_nics = QSharedPointer<NICModel>::create(cards);
    // Every protocol instance hands the repeats of settled devices to the
    // board on its receive threads instead of queueing them.
    m_seenBoard = std::make_shared<SeenBoard>();
    IProtocolProvider provider = [makeInstance = makeProtocolProvider(options.queryCards),
                                  board = m_seenBoard]() {
        auto instance = makeInstance();
        if (instance) {
            instance->set_repeat_filter([board](std::uint64_t key, const std::string& cardIp) {
                return board->take(key, cardIp, Clock::instance().monotonicMs());
            });
        }
        return instance;
    };
    m_engine = options.makeEngine(std::move(provider));
    m_processor = QSharedPointer<EventProcessor>::create(m_engine.data(), m_devices.data(),
                                                         m_notifications.data(), m_nics.data());
    m_processor->setCardSource(options.queryCards);
    m_processor->setSeenBoard(m_seenBoard);
    m_autoScanner = QSharedPointer<AutoScanner>::create(m_engine.data());
    m_monitor = QSharedPointer<NetworkMonitor>::create(m_devices.data(), m_autoScanner.data());
    m_guiHandler = QSharedPointer<GuiHandler>::create(this, m_processor.data());
    m_languages = QSharedPointer<LanguageStore>::create(options.languageFolder);
    m_batchReport = std::make_unique<BatchReport>();

    GuiHandler::BatchSetup batch;
    batch.report = m_batchReport.get();
    batch.environment.send = [this](const SetConfigurationRequest& item) {
        m_processor->handle(item);
    };
    batch.environment.known = [this](const QString& deviceId) {
        return !m_devices->find(deviceId, true).isNull();
    };
    batch.environment.preFlight = options.batchPreFlight;
    if (!batch.environment.preFlight) {
        batch.environment.preFlight = [this](const SetConfigurationRequest& item,
                                             BatchJob::Verdict done) {
            m_processor->checkChange(item, std::move(done));
        };
    }
    batch.post = [this](const QString& message) {
        m_notifications->add(makeNotification(message));
    };
    m_guiHandler->setBatchSetup(std::move(batch));
    connect(m_processor.data(), &EventProcessor::configurationStep, m_guiHandler.data(),
            &GuiHandler::onConfigurationStep);

    EventProcessor* processor = m_processor.data();
    connect(m_engine.data(), &IProtocolEngine::protocolEventReceived, processor,
            [processor](QSharedPointer<IProtocolEvent> event) { processor->handleEvent(event); });
    connect(
        m_engine.data(), &IProtocolEngine::stateChanged, m_engine.data(),
        [this](IProtocolEngine::State state, QString details) {
            onProtocolStateChanged(state, details);
        },
        Qt::DirectConnection);
    connect(m_monitor.data(), &INetworkMonitor::raiseEvent, processor,
            &EventProcessor::handleEvent);

    language.addListener([this](const PropertyValue<QString>& property) {
        AppStateChanged event(QStringLiteral("language"), property.get());
        notifyCache(&event);
    });
    theme.addListener([this](const PropertyValue<QString>& property) {
        AppStateChanged event(QStringLiteral("theme"), property.get());
        notifyCache(&event);
    });
    protocolState.available.addListener([this](const PropertyValue<bool>&) {
        AppStateChanged event(QStringLiteral("protocolState"), protocolState.toJson());
        notifyCache(&event);
    });

    // The watch thread only reads and compares; the card model, the engine
    // and the state cache belong to the main thread, so the change is applied
    // there. A change still queued when the backend goes is dropped with it.
    m_cardWatcher = std::make_unique<CardWatcher>(
        options.queryCards,
        [this](const QVector<NIC>& changed) {
            QMetaObject::invokeMethod(
                this, [this, changed] { applyCards(changed); }, Qt::QueuedConnection);
        },
        cards, options.cardWatchPeriod);
}

Backend::~Backend() {
    m_cardWatcher.reset();
}

void Backend::start() {
    m_monitor->setEnabled(true);
    m_engine->start();
    m_engine->sendScan();
    m_autoScanner->isActive.set(true);
}

QJsonValue Backend::toJson() const {
    return stateJson(m_devices->toJson());
}

QByteArray Backend::fullStateText() const {
    return indentedWithDeviceList(stateJson(deviceListPlaceholder()), m_devices->items());
}

QJsonObject Backend::stateJson(const QJsonValue& deviceList) const {
    QJsonObject devices;
    devices.insert(QStringLiteral("list"), deviceList);
    QJsonObject object;
    object.insert(QStringLiteral("autoScanner"), m_autoScanner->toJson());
    object.insert(QStringLiteral("batch"), m_batchReport->toJson());
    object.insert(QStringLiteral("devices"), devices);
    object.insert(QStringLiteral("nics"), m_nics->toJson());
    object.insert(QStringLiteral("languages"), m_languages->toJson());
    object.insert(QStringLiteral("protocolState"), protocolState.toJson());
    writeJsonProperty(object, theme);
    writeJsonProperty(object, language);
    writeJsonProperty(object, version);
    return object;
}

void Backend::readSettings(const QJsonValue& value, bool asPersisted) {
    const QJsonObject object = value.toObject();
    readJsonProperty(language, object);
    readJsonProperty(theme, object);
    // Opening the server to the network takes an explicit true; anything
    // else, a missing key included, keeps it closed.
    m_remoteAccess = object.value(QStringLiteral("remoteAccess")).toBool(false);
    const QJsonValue list =
        object.value(QStringLiteral("devices")).toObject().value(QStringLiteral("list"));
    if (asPersisted) {
        m_devices->loadPersisted(list);
    } else {
        m_devices->fromJson(list);
    }
}

bool Backend::fromJson(const QJsonValue& value) {
    readSettings(value, false);
    return true;
}

bool Backend::loadSettings(const QJsonValue& value) {
    readSettings(value, true);
    return true;
}

QJsonObject Backend::settingsJson() const {
    QJsonArray favourites;
    for (const QSharedPointer<Device>& device : m_devices->items()) {
        if (device->isFavorite.get()) {
            favourites.append(device->toJson());
        }
    }
    QJsonObject devices;
    devices.insert(QStringLiteral("list"), favourites);
    QJsonObject object;
    object.insert(QStringLiteral("devices"), devices);
    object.insert(QStringLiteral("remoteAccess"), m_remoteAccess);
    writeJsonProperty(object, theme);
    writeJsonProperty(object, language);
    return object;
}

QVector<QSharedPointer<AppNotification>> Backend::takeNotifications() {
    return m_notifications->take();
}

void Backend::setLanguage(const QString& value) {
    language.set(value);
}

void Backend::setTheme(const QString& value) {
    theme.set(value);
}

void Backend::saveSettings() {
    if (!writeJsonFile(m_settingsPath, QJsonDocument(settingsJson()))) {
        // The change holds for this run, and the file keeps its last whole
        // version; the user must know the change will not outlive the run.
        m_notifications->add(makeNotification(QStringLiteral("Settings could not be saved")));
    }
}

void Backend::handleGuiMessage(uint64_t clientID, QByteArray msg) {
    const Result result = m_guiHandler->processMessage(clientID, msg);
    if (result.status != ResultStatus::OK) {
        qDebug().noquote() << QStringLiteral(
                                  "Backend::handleGuiMessage(uint64_t clientID, QByteArray msg)") +
                                  QStringLiteral(" : Json parsing failed");
        return;
    }
    emit guiMessageHandled(result);
}

void Backend::handleActiveConnections(std::size_t count) {
    if (count > 0) {
        m_engine->start();
    } else {
        m_engine->stop();
    }
}

void Backend::onProtocolStateChanged(IProtocolEngine::State state, const QString& details) {
    if (state == IProtocolEngine::Running) {
        protocolState.details.set(QString());
        protocolState.available.set(true);
    } else if (state == IProtocolEngine::InitializationFailed) {
        protocolState.details.set(details);
        protocolState.available.set(false);
    } else {
        return;
    }
    qDebug().noquote() << QStringLiteral("Protocol state changed. Available = ") +
                              (protocolState.available.get() ? QStringLiteral("true")
                                                             : QStringLiteral("false")) +
                              QStringLiteral(" Details = ") + protocolState.details.get();
}

void Backend::applyCards(const QVector<NIC>& cards) {
    m_nics->update(cards);
    // A subnet test passed on the old cards holds no more.
    m_seenBoard->stopTaking();
    // The provider builds the next protocol instance on the new addresses.
    m_engine->stop();
    m_engine->start();
    AppStateChanged event(QStringLiteral("nics"), m_nics->toJson());
    notifyCache(&event);
}

QSharedPointer<Backend> createBackend(const QJsonDocument& document, BackendOptions options) {
    const QString settingsPath =
        options.settingsPath.isEmpty() ? settingsFilePath() : options.settingsPath;
    auto backend = QSharedPointer<Backend>::create(options);
    if (document.isNull()) {
        qDebug() << "Application state file load failed... using default settings";
        return backend;
    }
    try {
        backend->loadSettings(document.object());
    } catch (const QString& message) {
        qDebug().noquote() << QStringLiteral("Application state validation error: ") + message +
                                  QStringLiteral(" using defaults settings");
        keepInvalidSettingsFile(settingsPath);
        backend.reset();
        backend = QSharedPointer<Backend>::create(options);
    }
    return backend;
}
