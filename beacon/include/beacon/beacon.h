#pragma once

// Everything the beacon library offers its users.

#include "beacon/codec.h"
#include "beacon/communication_udp.h"
#include "beacon/communication_udp_sockets.h"
#include "beacon/configuration_request.h"
#include "beacon/configuration_response.h"
#include "beacon/device_protocol.h"
#include "beacon/discovery_request.h"
#include "beacon/discovery_response.h"
#include "beacon/event.h"
#include "beacon/event_with_metadata.h"
#include "beacon/export.h"
#include "beacon/icommunication_udp.h"
#include "beacon/idevice_protocol.h"
#include "beacon/localize_request.h"
#include "beacon/localize_response.h"
#include "beacon/network_card_info.h"
#include "beacon/protocol_constants.h"
#include "beacon/protocol_exception.h"
#include "beacon/secure_wipe.h"
#include "beacon/system_types.h"
