#include "desktop/platform/net_wm_state.h"

#include <algorithm>
#include <cstring>

std::vector<std::uint32_t> atomList(std::uint8_t format, std::uint32_t type, const void* value,
                                    std::uint32_t itemCount)
{
    if (format != 32 || type != kAtomListType || value == nullptr || itemCount == 0)
        return {};
    std::vector<std::uint32_t> atoms(itemCount);
    std::memcpy(atoms.data(), value, itemCount * sizeof(std::uint32_t));
    return atoms;
}

std::vector<std::uint32_t> withoutAtom(const std::vector<std::uint32_t>& atoms, std::uint32_t atom)
{
    std::vector<std::uint32_t> rest;
    std::copy_if(atoms.begin(), atoms.end(), std::back_inserter(rest),
                 [atom](std::uint32_t item) { return item != atom; });
    return rest;
}

bool HiddenStateEdge::minimisedBy(bool hidden)
{
    const bool started = hidden && !lastHidden;
    lastHidden = hidden;
    return started;
}
