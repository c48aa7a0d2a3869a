// Every text message of a connected browser goes through the request parser;
// whatever it holds, the parser answers with a Result and never throws.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "app/GuiHandler.h"
#include "app/IGuiBackend.h"
#include "state/IEventHandler.h"
#include "state/WebGUIEvent.h"

namespace {

class NullBackend : public IGuiBackend {
public:
    void setLanguage(const QString&) override {}
    void setTheme(const QString&) override {}
    void saveSettings() override {}
};

// Touches every field of an accepted request so a bad string in one is seen
// by the sanitizers here rather than later in the program.
class ReadingProcessor : public IEventHandler {
public:
    using IEventHandler::handle;
    void handle(const LocalizeRequest& r) override {
        sink += r.deviceId.size() + r.username.size() + r.password.size();
    }
    void handle(const SetFavoriteRequest& r) override { sink += r.deviceId.size() + r.isFavorite; }
    void handle(const SetConfigurationRequest& r) override {
        sink += r.deviceId.size() + r.name.size() + r.ip.size() + r.subnetMask.size() +
                r.defaultGateway.size() + r.username.size() + r.password.size();
    }
    int sink = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = fuzzsupport::silenceQt();
    (void)quiet;
    static NullBackend backend;
    static ReadingProcessor processor;
    static GuiHandler handler(&backend, &processor);

    const Result result = handler.processMessage(7, fuzzsupport::bytes(data, size));
    // The answer goes back to the browser as JSON: build it too.
    const QByteArray answer = result.toCompactJson();
    if (answer.isEmpty()) {
        std::abort();
    }
    return 0;
}
