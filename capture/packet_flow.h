#pragma once
// The ring's packets as the accounting takes them: one flow record per packet.

#include "capture/captured_packet.h"
#include "capture/flow_count.h"

// Decodes the packet once (packet_decode.h) and, for a super-packet, counts the wire packets it
// stands for (wire_packets.h). False for a packet that counts for no profile: too short, not
// IPv4 or IPv6, or its fixed header not captured; key and count are then unspecified.
bool packetFlow(const CapturedPacket& packet, FlowKey& key, FlowCount& count);
