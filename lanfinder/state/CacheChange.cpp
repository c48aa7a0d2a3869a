#include "state/CacheChange.h"

#include "state/Device.h"
#include "state/Event.h"
#include "state/IEventHandler.h"

namespace {

class Reader : public IEventHandler {
public:
    using IEventHandler::handle;

    void handle(const AppStateChanged& event) override {
        change.kind = CacheChange::Kind::App;
        change.key = event.key;
        change.value = event.value;
    }
    void handle(const AutoScannerChanged& event) override {
        change.kind = CacheChange::Kind::Scanner;
        change.key = event.key;
        change.value = event.value;
    }
    void handle(const DeviceChanged& event) override {
        change.kind = CacheChange::Kind::DeviceChanged;
        change.deviceId = event.deviceId;
        change.key = event.key;
        change.value = event.value;
    }
    void handle(const DeviceRemoved& event) override {
        change.kind = CacheChange::Kind::DeviceRemoved;
        change.deviceId = event.deviceId;
    }
    void handle(const DeviceAdded& event) override {
        if (event.device) {
            change.kind = CacheChange::Kind::DeviceAdded;
            change.deviceId = event.device->id.get();
            change.device = event.device->toJson().toObject();
        }
    }

    void handle(const BatchChanged& event) override {
        switch (event.part) {
            case BatchChanged::Part::Whole:
                change.kind = CacheChange::Kind::BatchWhole;
                break;
            case BatchChanged::Part::Key:
                change.kind = CacheChange::Kind::BatchKey;
                break;
            case BatchChanged::Part::Item:
                change.kind = CacheChange::Kind::BatchItem;
                break;
        }
        change.key = event.key;
        change.value = event.value;
    }

    CacheChange change;
};

}  // namespace

CacheChange CacheChange::of(const Event& event) {
    Reader reader;
    event.accept(reader);
    return reader.change;
}
