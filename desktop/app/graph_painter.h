#pragma once
// Draws the traffic graph into an off-screen image; the window copies the visible part into
// the graph frame. The image and the font are made once and reused for every paint; the image
// has the pixels of the screen the window is on (devicePixelRatio), so a scaled desktop gets
// a sharp graph rather than an enlarged bitmap.

#include "desktop/view/rate_history.h"
#include "desktop/widgets/display_settings.h"

#include <QFont>
#include <QImage>
#include <cstdint>

class QPaintDevice;

class GraphPainter {
public:
    GraphPainter();

    // The screen's device pixels per logical pixel; a new ratio makes a new image.
    void setDevicePixelRatio(qreal ratio);
    // Redraws the whole graph from the history and its maxima, kept in the unit of
    // `unitDivisor` (the scale label may name a larger one), in the colours given (0xRRGGBB).
    const QImage& render(const RateHistory& history, std::uint32_t unitDivisor = 1000,
                         std::uint32_t downloadColour = DisplaySettings::kDefaultDownloadColour,
                         std::uint32_t uploadColour = DisplaySettings::kDefaultUploadColour);
    // Copies the visible 380 x 104 logical pixels to (0, 0) of the device.
    void copyTo(QPaintDevice* device) const;

    const QImage& image() const { return surface; }
    const QFont& font() const { return labelFont; }

private:
    QImage surface;
    QFont labelFont;
};

// "Arial" 8 pt bold, else the system's sans-serif at the same size and weight.
QFont graphLabelFont();
