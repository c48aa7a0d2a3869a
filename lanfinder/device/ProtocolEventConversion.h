#pragma once

#include <QSharedPointer>

#include "device/ProtocolEvents.h"

namespace dp {
struct event_with_metadata;
}

// The application event for a received protocol message: a DiscoveryResponse,
// ConfigurationResponse or LocalizeResponse by the message's kind code
// (1, 3, 5). Any other kind logs "Unsupported protocol event received" and
// gives null.
QSharedPointer<IProtocolEvent> convertProtocolEvent(const dp::event_with_metadata& received);
