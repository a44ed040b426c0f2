#include "desktop/app/graph_painter.h"

#include "desktop/view/graph_geometry.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QtMath>
#include <QPolygonF>

namespace {

// The chosen colour, as transparent as the graph's fills are, so the overlap shows.
QColor fillColour(std::uint32_t rgb, graph::Rgba fill)
{
    QColor colour = QColor::fromRgb(QRgb(rgb));
    colour.setAlpha(fill.alpha);
    return colour;
}

QPolygonF toPolygon(const std::vector<GraphPoint>& points)
{
    QPolygonF polygon;
    polygon.reserve(qsizetype(points.size()));
    for (const GraphPoint& point : points)
        polygon << QPointF(point.x, point.y);
    return polygon;
}

void drawFrameAndAxes(QPainter& painter)
{
    // The border is filled rather than stroked: a stroke centred on the edge would lose half
    // its width outside the image at a device pixel ratio above 1.
    painter.fillRect(QRect(0, 0, graph::kWidth, graph::kHeight), Qt::black);
    painter.fillRect(QRect(1, 1, graph::kWidth - 2, graph::kHeight - 2), Qt::white);
    painter.setPen(QPen(Qt::black, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(QPointF(graph::kAxisX, graph::kTopY), QPointF(graph::kAxisX, graph::kBaselineY));
    painter.drawLine(QPointF(graph::kAxisX, graph::kBaselineY), QPointF(graph::kRightX, graph::kBaselineY));
}

// Text with its top-left corner at (x, y), as the labels are placed.
void drawLabel(QPainter& painter, float x, float y, const QString& text)
{
    const QFontMetricsF metrics(painter.font());
    painter.drawText(QPointF(x, y + metrics.ascent()), text);
}

void drawLabels(QPainter& painter, float top, std::uint32_t unitDivisor)
{
    painter.setPen(Qt::black);
    const QFontMetricsF metrics(painter.font());
    const std::string text = graph::scaleLabelText(top, unitDivisor);
    const QString label = QString::fromStdString(text);
    if (const auto x = graph::scaleLabelX(text, float(metrics.horizontalAdvance(label))))
        drawLabel(painter, *x, graph::kTopLabelY, label);
    const QString zero = QStringLiteral("0");
    drawLabel(painter, graph::zeroLabelX(float(metrics.horizontalAdvance(zero))), graph::kZeroLabelY, zero);
}

} // namespace

QFont graphLabelFont()
{
    QFont font(QStringLiteral("Arial"));
    if (!QFontDatabase::hasFamily(font.family()) && !QFontDatabase::hasFamily(QStringLiteral("Liberation Sans")))
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    font.setBold(true);
    return font;
}

GraphPainter::GraphPainter()
    : surface(graph::kWidth, graph::kSurfaceHeight, QImage::Format_RGB32), labelFont(graphLabelFont())
{
    surface.fill(Qt::white);
}

const QImage& GraphPainter::render(const RateHistory& history, std::uint32_t unitDivisor,
                                   std::uint32_t downloadColour, std::uint32_t uploadColour)
{
    QPainter painter(&surface);
    painter.setFont(labelFont);
    drawFrameAndAxes(painter);
    const float top = graph::scaleTop(history.maxDownload, history.maxUpload);
    drawLabels(painter, top, unitDivisor);

    painter.setPen(Qt::NoPen);
    painter.setBrush(fillColour(downloadColour, graph::kDownloadFill));
    painter.drawPolygon(toPolygon(graph::outline(history.download, top)), Qt::OddEvenFill);
    painter.setBrush(fillColour(uploadColour, graph::kUploadFill));
    painter.drawPolygon(toPolygon(graph::outline(history.upload, top)), Qt::OddEvenFill);
    return surface;
}

void GraphPainter::setDevicePixelRatio(qreal ratio)
{
    if (ratio <= 0 || ratio == surface.devicePixelRatio())
        return;
    surface = QImage(qCeil(graph::kWidth * ratio), qCeil(graph::kSurfaceHeight * ratio), QImage::Format_RGB32);
    surface.setDevicePixelRatio(ratio);
    surface.fill(Qt::white);
}

void GraphPainter::copyTo(QPaintDevice* device) const
{
    const qreal ratio = surface.devicePixelRatio();
    QPainter painter(device);
    painter.drawImage(QRectF(0, 0, graph::kWidth, graph::kHeight), surface,
                      QRectF(0, 0, graph::kWidth * ratio, graph::kHeight * ratio));
}
