#pragma once

#include <QString>
#include <QVector>

#include <beacon/system_types.h>

#include "state/Result.h"

class IWebGUIEventHandler;

// A typed browser request, parsed from one WebSocket text message
// (web/RequestRegistry), handled on the main thread (app/GuiHandler), and,
// for the device requests, carried out by the event processor
// (device/EventProcessor, through state/IEventHandler).
struct WebGUIEvent {
    virtual ~WebGUIEvent() = default;
    virtual Result accept(IWebGUIEventHandler& handler) const = 0;

    QString reqType;
    QString reqId;
};

// "ChangeDevice"
struct SetConfigurationRequest : WebGUIEvent {
    Result accept(IWebGUIEventHandler& handler) const override;

    QString deviceId;
    QString name;
    QString ip;
    QString subnetMask;
    QString defaultGateway;
    QString username;
    QString password;
    sdk::system::network_method_type networkMethod = sdk::system::network_method_type::UNKNOWN;
};

// "SetFavorite"
struct SetFavoriteRequest : WebGUIEvent {
    Result accept(IWebGUIEventHandler& handler) const override;

    QString deviceId;
    bool isFavorite = false;
};

// "SetLanguage"
struct SetLanguageRequest : WebGUIEvent {
    Result accept(IWebGUIEventHandler& handler) const override;

    QString language;
};

// "SetTheme"
struct SetThemeRequest : WebGUIEvent {
    Result accept(IWebGUIEventHandler& handler) const override;

    QString theme;
};

// "Localize"
struct LocalizeRequest : WebGUIEvent {
    Result accept(IWebGUIEventHandler& handler) const override;

    QString deviceId;
    QString username;
    QString password;
};

// "ChangeDevices": one ChangeDevice per device, under one set of credentials,
// which the request handler copies into every item.
struct ChangeDevicesRequest : WebGUIEvent {
    Result accept(IWebGUIEventHandler& handler) const override;

    QString username;
    QString password;
    // Items without credentials, reqType or reqId, in the order sent.
    QVector<SetConfigurationRequest> devices;
};

// "CancelBatch"
struct CancelBatchRequest : WebGUIEvent {
    Result accept(IWebGUIEventHandler& handler) const override;
};

class IWebGUIEventHandler {
public:
    virtual ~IWebGUIEventHandler() = default;
    virtual Result handle(const LocalizeRequest& request) = 0;
    virtual Result handle(const SetLanguageRequest& request) = 0;
    virtual Result handle(const SetThemeRequest& request) = 0;
    virtual Result handle(const SetFavoriteRequest& request) = 0;
    virtual Result handle(const SetConfigurationRequest& request) = 0;
    virtual Result handle(const ChangeDevicesRequest& request) = 0;
    virtual Result handle(const CancelBatchRequest& request) = 0;
};

inline Result SetConfigurationRequest::accept(IWebGUIEventHandler& handler) const {
    return handler.handle(*this);
}
inline Result SetFavoriteRequest::accept(IWebGUIEventHandler& handler) const {
    return handler.handle(*this);
}
inline Result SetLanguageRequest::accept(IWebGUIEventHandler& handler) const {
    return handler.handle(*this);
}
inline Result SetThemeRequest::accept(IWebGUIEventHandler& handler) const {
    return handler.handle(*this);
}
inline Result LocalizeRequest::accept(IWebGUIEventHandler& handler) const {
    return handler.handle(*this);
}
inline Result ChangeDevicesRequest::accept(IWebGUIEventHandler& handler) const {
    return handler.handle(*this);
}
inline Result CancelBatchRequest::accept(IWebGUIEventHandler& handler) const {
    return handler.handle(*this);
}
