#include "capture/capture_filter.h"

#include <linux/if_ether.h>
#include <linux/if_packet.h>

namespace {

sock_filter statement(std::uint16_t code, std::uint32_t k)
{
    return BPF_STMT(code, k);
}

sock_filter jump(std::uint16_t code, std::uint32_t k, std::uint8_t ifTrue, std::uint8_t ifFalse)
{
    return BPF_JUMP(code, k, ifTrue, ifFalse);
}

} // namespace

std::vector<sock_filter> everyInterfaceFilter(std::uint32_t snapLength)
{
    return captureFilter(std::vector<int>(kFilterInterfaceLimit + 1), snapLength);
}

std::vector<sock_filter> captureFilter(const std::vector<int>& interfaces, std::uint32_t snapLength)
{
    // The ancillary loads work whatever the link type: SKF_AD_PROTOCOL is the ethertype (host
    // order, also on interfaces without a link header), SKF_AD_PKTTYPE the packet type and
    // SKF_AD_IFINDEX the interface the packet passes.
    // SKF_AD_VLAN_TAG_PRESENT is set on the copy a VLAN's parent interface sees, whose tag
    // the card (or veth) keeps in the packet's metadata; the VLAN interface sees the same
    // packet again without it, and that copy is the one counted.
    std::vector<sock_filter> program = {
        statement(BPF_LD | BPF_H | BPF_ABS, std::uint32_t(SKF_AD_OFF + SKF_AD_PROTOCOL)),
        jump(BPF_JMP | BPF_JEQ | BPF_K, ETH_P_IP, 2, 0),
        jump(BPF_JMP | BPF_JEQ | BPF_K, ETH_P_IPV6, 1, 0),
        statement(BPF_RET | BPF_K, 0),
        statement(BPF_LD | BPF_B | BPF_ABS, std::uint32_t(SKF_AD_OFF + SKF_AD_PKTTYPE)),
        jump(BPF_JMP | BPF_JEQ | BPF_K, PACKET_OTHERHOST, 0, 1),
        statement(BPF_RET | BPF_K, 0),
        statement(BPF_LD | BPF_B | BPF_ABS, std::uint32_t(SKF_AD_OFF + SKF_AD_VLAN_TAG_PRESENT)),
        jump(BPF_JMP | BPF_JEQ | BPF_K, 0, 1, 0),
        statement(BPF_RET | BPF_K, 0),
    };
    const sock_filter keep = statement(BPF_RET | BPF_K, snapLength);
    if (interfaces.size() > kFilterInterfaceLimit) {
        program.push_back(keep);
        return program;
    }
    // One comparison per interface, each jumping (BPF_JA: a 32-bit offset, where a
    // conditional jump reaches only 255 instructions on) to the final `keep`.
    program.push_back(statement(BPF_LD | BPF_W | BPF_ABS, std::uint32_t(SKF_AD_OFF + SKF_AD_IFINDEX)));
    const std::size_t count = interfaces.size();
    for (std::size_t i = 0; i < count; ++i) {
        program.push_back(jump(BPF_JMP | BPF_JEQ | BPF_K, std::uint32_t(interfaces[i]), 0, 1));
        // From the instruction after this one: the rest of the pairs, then the drop.
        program.push_back(statement(BPF_JMP | BPF_JA, std::uint32_t(2 * (count - i - 1) + 1)));
    }
    program.push_back(statement(BPF_RET | BPF_K, 0));
    program.push_back(keep);
    return program;
}
