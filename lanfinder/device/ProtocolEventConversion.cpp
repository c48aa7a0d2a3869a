#include "device/ProtocolEventConversion.h"

#include <QDebug>

#include <beacon/configuration_response.h>
#include <beacon/discovery_response.h>
#include <beacon/event_with_metadata.h>
#include <beacon/localize_response.h>

#include "device/TextLimit.h"

namespace {

// Devices pad some fixed-size text fields with NULs; those fields end at
// the first one. Serial numbers and manufacture dates are taken whole.
// Either way a text is kept to a length a real device never exceeds.
QString upToNul(const std::string& text) {
    return QString::fromStdString(cutAtCharacter(text.substr(0, text.find('\0'))));
}

QString whole(const std::string& text) {
    return QString::fromStdString(cutAtCharacter(text));
}

QSharedPointer<IProtocolEvent> discoveryResponse(const dp::discovery_response& in) {
    using sdk::system::capabilities;
    auto out = QSharedPointer<DiscoveryResponse>::create();
    out->requestId = whole(in.request_id());
    out->mac = upToNul(in.mac());
    out->ip = upToNul(in.ip());
    out->subnetMask = upToNul(in.mask());
    out->defaultGateway = upToNul(in.gateway());
    out->deviceState = in.state();
    QStringList messages;
    for (const auto& message : in.info_messages()) {
        messages << upToNul(message);
    }
    out->infoMessages = messages;
    out->type = upToNul(in.device_type());
    out->url = upToNul(in.device_url());
    out->hwVersion = upToNul(in.hardware_version());
    out->networkMethod = in.network_method();
    out->name = upToNul(in.user_defined_name());
    out->articleNumber = upToNul(in.article_number());
    out->serialNumber = whole(in.serial_number());
    out->manufactureDate = whole(in.manufacture_date());
    out->fwVersion = upToNul(in.device_firmware());
    out->manufacturer = upToNul(in.manufacturer());
    out->supportsDHCP = in.capability(capabilities::SUPPORTS_DHCP);
    out->supportsPersistentIP = in.capability(capabilities::SUPPORTS_PERSISTENT_IP);
    out->supportsLocalize = in.capability(capabilities::SUPPORTS_LOCALIZE);
    out->isAuthentication = in.authentication();
    return out;
}

QSharedPointer<IProtocolEvent> configurationResponse(const dp::configuration_response& in) {
    auto out = QSharedPointer<ConfigurationResponse>::create();
    out->requestId = whole(in.request_id());
    out->result = static_cast<int>(in.result());
    out->articleNumber = upToNul(in.article_number());
    out->serialNumber = whole(in.serial_number());
    return out;
}

QSharedPointer<IProtocolEvent> localizeResponse(const dp::localize_response& in) {
    auto out = QSharedPointer<LocalizeResponse>::create();
    out->requestId = whole(in.request_id());
    out->result = static_cast<int>(in.result());
    return out;
}

QSharedPointer<IProtocolEvent> convertMessage(const dp::event& message) {
    // The kind code picks the record type; the checked cast guards against
    // a record whose code does not match its class.
    switch (static_cast<int>(message.type_of_service())) {
        case 1:
            if (const auto* in = dynamic_cast<const dp::discovery_response*>(&message)) {
                return discoveryResponse(*in);
            }
            break;
        case 3:
            if (const auto* in = dynamic_cast<const dp::configuration_response*>(&message)) {
                return configurationResponse(*in);
            }
            break;
        case 5:
            if (const auto* in = dynamic_cast<const dp::localize_response*>(&message)) {
                return localizeResponse(*in);
            }
            break;
        default:
            break;
    }
    qWarning() << "Unsupported protocol event received";
    return {};
}

}  // namespace

QSharedPointer<IProtocolEvent> convertProtocolEvent(const dp::event_with_metadata& received) {
    if (!received.message) {
        qWarning() << "Unsupported protocol event received";
        return {};
    }
    auto event = convertMessage(*received.message);
    if (event) {
        // created was stamped when the event was made, a moment ago: a second
        // reading of the local time costs glibc a stat of /etc/localtime.
        event->ipOfAssociatedNic = whole(received.interface_ip);
        if (auto* answer = dynamic_cast<DiscoveryResponse*>(event.data())) {
            answer->repeatKey = received.repeat_key;
            answer->deviceId = deviceIdOf(answer->articleNumber, answer->serialNumber);
        }
    }
    return event;
}
