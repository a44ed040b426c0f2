#pragma once
// The tray icon's picture: two bars, download on the left and upload on the right, in the
// graph's colours, their heights the current rates against the graph's scale. Drawn anew for
// each readout while the window is in the tray.

#include "desktop/widgets/display_settings.h"

#include <QColor>
#include <QIcon>
#include <QImage>

struct TrayBars {
    float download = 0; // current rates, in display units like the graph's history
    float upload = 0;
    float top = 0;      // the graph's scale: a rate of `top` fills a bar
    // The graph's colours, 0xRRGGBB, drawn opaque.
    std::uint32_t downloadColour = DisplaySettings::kDefaultDownloadColour;
    std::uint32_t uploadColour = DisplaySettings::kDefaultUploadColour;
};

// Pixels of a bar `fullHeight` high for that rate: 0 for no traffic, at least 1 for any,
// `fullHeight` at or above the top.
int trayBarHeight(float rate, float top, int fullHeight);

class TrayIconPainter {
public:
    // The icon at one square size, transparent around the two bars.
    static QImage paint(const TrayBars& bars, int size);
    // The icon at the sizes trays ask for.
    static QIcon icon(const TrayBars& bars);

    static QColor downloadColour(); // the default ones
    static QColor uploadColour();
    static QColor trackColour(); // the empty part of each bar, so an idle icon still shows
};
