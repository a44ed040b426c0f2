#include "app/graph_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace graph {

float scaleTop(float maxDownload, float maxUpload)
{
    return std::ceil(maxDownload > maxUpload ? maxDownload : maxUpload);
}

std::string scaleLabelText(float top)
{
    char buffer[100];
    if (std::snprintf(buffer, sizeof buffer, "%.0f", double(top)) < 0)
        return {};
    return buffer;
}

std::optional<float> scaleLabelX(const std::string& text, float textWidth)
{
    if (text.empty() || text.size() > 4)
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
