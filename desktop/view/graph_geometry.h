#pragma once
// Where the traffic graph puts things, in pixels of its 380 x 104 area (origin top-left).
// The painter only strokes and fills what these functions compute.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct GraphPoint {
    float x, y;
    bool operator==(const GraphPoint&) const = default;
};

namespace graph {

constexpr int kWidth = 380;
constexpr int kHeight = 104;
constexpr int kSurfaceHeight = 150; // the off-screen image; only the top kHeight rows show
constexpr float kAxisX = 40;        // vertical axis and left end of the baseline
constexpr float kRightX = 370;      // right end of the baseline
constexpr float kTopY = 10;         // top of the vertical axis
constexpr float kBaselineY = 80;
constexpr float kPlotWidth = kRightX - kAxisX;    // 330
constexpr float kPlotHeight = kBaselineY - kTopY; // 70
constexpr float kLabelRight = 37;   // both labels end here, left of the axis
constexpr float kTopLabelY = 6;     // top edge of the scale label's text
constexpr float kZeroLabelY = 74;   // top edge of the "0" label's text
constexpr std::size_t kMaxPoints = 62; // 60 samples plus the two baseline corners

// Fill colours, semi-transparent so that the overlap of the two areas shows (upload on top).
struct Rgba {
    int red, green, blue, alpha;
};
constexpr Rgba kDownloadFill{0, 200, 100, 128};
constexpr Rgba kUploadFill{0, 100, 200, 128};

// The top of the common scale: ceil of the larger maximum, and at least 1, the smallest scale
// (an idle graph reads "1", not "0" at its top).
float scaleTop(float maxDownload, float maxUpload);

// The scale label for a top in the unit of `unitDivisor`: "%.0f" of the top while that is at
// most 4 characters (a top below 10000); otherwise the top in the next larger unit whose
// whole number and unit letter fit in 4 ("10M" for a top of 10000 in KB/s, "123K" for
// 123456 in B/s), as a readout moves to a larger unit rather than lose digits.
inline constexpr std::size_t kScaleLabelLength = 4;
std::string scaleLabelText(float top, std::uint32_t unitDivisor);

// Left edge of a label of that drawn width, so that it ends at kLabelRight whatever the font's
// digit widths; nullopt when there is no text or it would cross the frame's left edge.
// 8 px per character gives 29, 21, 13, 5.
std::optional<float> scaleLabelX(const std::string& text, float textWidth);
float zeroLabelX(float textWidth);

// The polygon of one direction: baseline corner, one point per sample (oldest at the left,
// values above the top drawn at the top), baseline corner. N samples give N + 2 points.
std::vector<GraphPoint> outline(const std::vector<float>& samples, float top);

} // namespace graph
