#include "desktop/app/tray_icon_painter.h"

#include "desktop/view/graph_geometry.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>

namespace {

// The graph fills at full strength: a tray icon is small and drawn over any panel colour.
QColor opaque(graph::Rgba c)
{
    return QColor(c.red, c.green, c.blue);
}

} // namespace

int trayBarHeight(float rate, float top, int fullHeight)
{
    if (!(rate > 0) || fullHeight <= 0)
        return 0;
    if (!(top > 0) || rate >= top)
        return fullHeight;
    return std::clamp(int(std::lround(rate / top * float(fullHeight))), 1, fullHeight);
}

QColor TrayIconPainter::downloadColour()
{
    return opaque(graph::kDownloadFill);
}

QColor TrayIconPainter::uploadColour()
{
    return opaque(graph::kUploadFill);
}

QColor TrayIconPainter::trackColour()
{
    return QColor(128, 128, 128, 96);
}

// Each bar takes a little under half the width; the margin and the gap keep them apart at 16 px.
QImage TrayIconPainter::paint(const TrayBars& bars, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const int margin = std::max(1, size / 8);
    const int gap = std::max(1, size / 8);
    const int barWidth = (size - 2 * margin - gap) / 2;
    const int fullHeight = size - 2 * margin;
    QPainter painter(&image);
    const struct {
        float rate;
        QColor colour;
        int left;
    } columns[] = {
        {bars.download, QColor::fromRgb(QRgb(bars.downloadColour)), margin},
        {bars.upload, QColor::fromRgb(QRgb(bars.uploadColour)), size - margin - barWidth},
    };
    for (const auto& column : columns) {
        const int height = trayBarHeight(column.rate, bars.top, fullHeight);
        painter.fillRect(QRect(column.left, margin, barWidth, fullHeight - height), trackColour());
        painter.fillRect(QRect(column.left, margin + fullHeight - height, barWidth, height), column.colour);
    }
    return image;
}

QIcon TrayIconPainter::icon(const TrayBars& bars)
{
    QIcon result;
    for (int size : {16, 22, 24, 32, 48, 64})
        result.addPixmap(QPixmap::fromImage(paint(bars, size)));
    return result;
}
