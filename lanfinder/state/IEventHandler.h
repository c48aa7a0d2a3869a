#pragma once

struct Event;
struct AppStateChanged;
struct AutoScannerChanged;
struct BatchChanged;
struct DeviceAdded;
struct DeviceChanged;
struct DeviceRemoved;
struct DevicesDisconnected;
class LocalizeResponse;
class ConfigurationResponse;
class DiscoveryResponse;
struct LocalizeRequest;
struct SetFavoriteRequest;
struct SetConfigurationRequest;

// Receiver of events by double dispatch. Every operation has an empty body,
// so a handler overrides only the kinds it acts on.
class IEventHandler {
public:
    virtual ~IEventHandler() = default;
    virtual void handle(const AppStateChanged&) {}
    virtual void handle(const LocalizeResponse&) {}
    virtual void handle(const LocalizeRequest&) {}
    virtual void handle(const SetFavoriteRequest&) {}
    virtual void handle(const SetConfigurationRequest&) {}
    virtual void handle(const AutoScannerChanged&) {}
    virtual void handle(const DeviceChanged&) {}
    virtual void handle(const DeviceRemoved&) {}
    virtual void handle(const DeviceAdded&) {}
    virtual void handle(const ConfigurationResponse&) {}
    virtual void handle(const DiscoveryResponse&) {}
    virtual void handle(const DevicesDisconnected&) {}
    virtual void handle(const BatchChanged&) {}
    // Entry point of the state cache.
    virtual void onEvent(Event*) {}
};
