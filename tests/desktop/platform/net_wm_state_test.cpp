// _NET_WM_STATE as the X server returns it, and when a reading starts a minimise. The atom
// numbers are those an Xvfb server with openbox assigned (xlsatoms): 312 MAXIMIZED_VERT,
// 313 MAXIMIZED_HORZ, 317 HIDDEN.
#include "desktop/platform/net_wm_state.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t kHidden = 317;

// The value bytes of a recorded reply for a maximised window that KWin minimised: three atoms,
// little-endian CARD32s.
constexpr std::uint8_t kMaximisedHidden[] = {0x38, 0x01, 0, 0, 0x39, 0x01, 0, 0, 0x3d, 0x01, 0, 0};

} // namespace

TEST(NetWmState, RecordedValuesDecodeOnlyAsAtomLists)
{
    struct Case {
        const char* what;
        std::uint8_t format;
        std::uint32_t type;
        const void* value;
        std::uint32_t items;
        std::vector<std::uint32_t> atoms;
    };
    const std::uint32_t cardinals[] = {317};
    const Case cases[] = {
        {"maximised and hidden", 32, kAtomListType, kMaximisedHidden, 3, {312, 313, 317}},
        {"restored, property emptied", 32, kAtomListType, kMaximisedHidden, 0, {}},
        {"deleted property (type None)", 0, 0, nullptr, 0, {}},
        {"CARDINAL, not ATOM", 32, 6, cardinals, 1, {}},
        {"8-bit value", 8, kAtomListType, kMaximisedHidden, 12, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(atomList(c.format, c.type, c.value, c.items), c.atoms) << c.what;
}

// A sequence of readings as a window manager produces them, and the minimises they start.
TEST(NetWmState, OnlyTheChangeToHiddenIsAMinimise)
{
    struct Step {
        bool hidden;
        bool reset; // the window was restored (and HIDDEN cleared) before this reading
        bool minimised;
    };
    const std::vector<std::pair<const char*, std::vector<Step>>> cases = {
        {"KWin minimise, then a rewrite keeping HIDDEN", {{false, false, false}, {true, false, true}, {true, false, false}}},
        {"restored with HIDDEN cleared, then set anew", {{true, false, true}, {true, true, true}}},
        {"restore clears it, next minimise counts", {{true, false, true}, {false, true, false}, {true, false, true}}},
        {"focus changes only", {{false, false, false}, {false, false, false}}},
    };
    for (const auto& [what, steps] : cases) {
        HiddenStateEdge edge;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            if (steps[i].reset)
                edge.reset();
            EXPECT_EQ(edge.minimisedBy(steps[i].hidden), steps[i].minimised) << what << ", step " << i;
        }
    }
}
