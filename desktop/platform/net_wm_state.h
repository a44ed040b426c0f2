#pragma once
// Reading a window's _NET_WM_STATE on X11, without Qt or xcb types. Window managers report a
// minimised window in two ways: ICCCM's WM_STATE Iconic (openbox, Mutter; Qt sees that one)
// and EWMH's _NET_WM_STATE_HIDDEN, which KWin sets alone, leaving WM_STATE Normal and the
// window mapped. These helpers decode the property and decide when it means "just minimised".

#include <cstdint>
#include <vector>

// XCB_ATOM_ATOM: the type of a list of atoms.
constexpr std::uint32_t kAtomListType = 4;

// The atoms of a property value as the server returned it: 32-bit items of type ATOM, in the
// client's byte order. Any other format or type (a deleted property arrives as type 0) is an
// empty list.
std::vector<std::uint32_t> atomList(std::uint8_t format, std::uint32_t type, const void* value,
                                    std::uint32_t itemCount);

// The list with every `atom` taken out.
std::vector<std::uint32_t> withoutAtom(const std::vector<std::uint32_t>& atoms, std::uint32_t atom);

// Turns successive readings of "_NET_WM_STATE holds HIDDEN" into minimise events. Only the
// change from not hidden to hidden counts: a window manager may rewrite the property for other
// reasons while HIDDEN stays, and a restore must never be taken for a new minimise.
class HiddenStateEdge {
public:
    // True when this reading starts a minimise.
    bool minimisedBy(bool hidden);
    // The window is shown again with HIDDEN cleared: the next HIDDEN is a new minimise.
    void reset() { lastHidden = false; }

private:
    bool lastHidden = false;
};
