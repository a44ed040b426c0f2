#include "desktop/view/graph_geometry.h"

#include "desktop/view/readout_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace graph {

float scaleTop(float maxDownload, float maxUpload)
{
    return std::max(1.0f, std::ceil(maxDownload > maxUpload ? maxDownload : maxUpload));
}

namespace {

std::string wholeNumber(double value)
{
    char buffer[64];
    if (std::snprintf(buffer, sizeof buffer, "%.0f", value) < 0)
        return {};
    return buffer;
}

// The letter a scale label in that unit ends with.
const char* unitLetter(std::uint32_t divisor)
{
    return divisor >= 1000000000u ? "G" : divisor >= 1000000u ? "M" : "K";
}

} // namespace

std::string scaleLabelText(float top, std::uint32_t unitDivisor)
{
    std::string text = wholeNumber(double(top));
    if (text.size() <= kScaleLabelLength)
        return text;
    for (std::uint32_t divisor : kUnitDivisors) {
        if (divisor <= unitDivisor)
            continue;
        text = wholeNumber(double(top) * double(unitDivisor) / double(divisor)) + unitLetter(divisor);
        if (text.size() <= kScaleLabelLength)
            break;
    }
    return text;
}

std::optional<float> scaleLabelX(const std::string& text, float textWidth)
{
    if (text.empty() || kLabelRight - textWidth < 1)
        return std::nullopt;
    return kLabelRight - textWidth;
}

float zeroLabelX(float textWidth)
{
    return kLabelRight - textWidth;
}

std::vector<GraphPoint> outline(const std::vector<float>& samples, float top)
{
    std::vector<GraphPoint> points;
    points.reserve(samples.size() + 2);
    points.push_back({kAxisX, kBaselineY});
    if (samples.empty()) {
        points.push_back({kRightX, kBaselineY});
        return points;
    }
    // x is accumulated one step per sample; with one sample there is no step to take.
    const float step = samples.size() > 1 ? kPlotWidth / float(samples.size() - 1) : 0.0f;
    const float scale = top > 0 ? 1.0f / top : 0.0f;
    float x = kAxisX;
    for (float value : samples) {
        const float y = top > 0 ? kBaselineY - kPlotHeight * std::min(scale * value, 1.0f) : kBaselineY;
        points.push_back({x, y});
        x += step;
    }
    points.push_back({points.back().x, kBaselineY});
    return points;
}

} // namespace graph
