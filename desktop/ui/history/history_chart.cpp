#include "desktop/ui/history/history_chart.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPaintDevice>
#include <QPainter>
#include <QPaintEvent>
#include <cmath>

namespace {

constexpr const char* kMonthLetters = "JFMAMJJASOND";

// "12", "0.5", "2000": the scale's top without trailing zeros.
QString scaleText(double top)
{
    return QString::number(top, 'g', 12);
}

} // namespace

HistoryChart::HistoryChart(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Chart"));
}

void HistoryChart::showPeriod(const PeriodSums& shown, int slotCount, chart::Slots kind, double unitDivisor,
                              const std::string& unitSymbol, const std::string& title)
{
    sums = shown;
    periodSlots = slotCount;
    slotKind = kind;
    divisor = unitDivisor;
    unit = unitSymbol;
    periodTitle = title;
    const char* per = kind == chart::Slots::Months ? "per month" : kind == chart::Slots::Hours ? "per hour" : "per day";
    setAccessibleName(title.empty() ? QStringLiteral("Chart: no traffic recorded")
                                    : QString::fromStdString("Chart of " + title + ", downloaded and uploaded " + per +
                                                             " in " + unit));
    QStringList lines;
    for (const PeriodRow& row : sums.rows) {
        const std::string name = kind == chart::Slots::Months ? std::string(kMonthNames[std::size_t(row.index)])
                                 : kind == chart::Slots::Hours ? "Hour " + std::to_string(row.index)
                                                                : "Day " + std::to_string(row.index);
        lines << QString::fromStdString(name + ": " + amountText(row.down, divisor) + " " + unit + " downloaded, " +
                                        amountText(row.up, divisor) + " " + unit + " uploaded");
    }
    setAccessibleDescription(lines.isEmpty() ? QStringLiteral("No traffic") : lines.join(QStringLiteral("; ")));
    update();
}

void HistoryChart::setColours(std::uint32_t download, std::uint32_t upload)
{
    downloadColour = download;
    uploadColour = upload;
    update();
}

void HistoryChart::paint(QPainter& painter, QSizeF size) const
{
    const double ratio = painter.device()->devicePixelRatioF();
    const QFontMetricsF metrics(painter.font());
    const chart::Period period{&sums, periodSlots, divisor, slotKind};
    // The scale labels' room: the wider of the top's text and the unit's; half the top label
    // stands above the plot.
    const QString topText = scaleText(chart::layOut(period, size.width(), size.height(), {}, ratio).top);
    const QString unitText = QString::fromStdString(unit);
    const chart::Margins margins{
        std::ceil(std::max(metrics.horizontalAdvance(topText), metrics.horizontalAdvance(unitText))) + 6,
        std::ceil(metrics.ascent() / 2) + 2, 4, std::ceil(metrics.height()) + 2};
    const chart::Picture picture = chart::layOut(period, size.width(), size.height(), margins, ratio);
    const chart::Box& plot = picture.plot;
    lastPlot = plot;

    painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    const QColor download = QColor::fromRgb(QRgb(downloadColour));
    const QColor upload = QColor::fromRgb(QRgb(uploadColour));
    for (const chart::BarPair& bar : picture.bars) {
        painter.fillRect(QRectF(bar.download.x, bar.download.y, bar.download.width, bar.download.height), download);
        painter.fillRect(QRectF(bar.upload.x, bar.upload.y, bar.upload.width, bar.upload.height), upload);
    }
    // The axes filled a device pixel wide rather than stroked: a stroke centred on a logical
    // coordinate falls between device pixels at some scale factors.
    const double pixel = 1 / ratio;
    painter.fillRect(QRectF(plot.x - pixel, plot.y, pixel, plot.height + pixel), Qt::black);
    painter.fillRect(QRectF(plot.x - pixel, plot.bottom(), plot.width + pixel, pixel), Qt::black);

    painter.setPen(Qt::black);
    const double labelRight = plot.x - 3;
    auto rightAligned = [&](const QString& text, double baseline) {
        painter.drawText(QPointF(labelRight - metrics.horizontalAdvance(text), baseline), text);
    };
    rightAligned(topText, plot.y + metrics.ascent() / 2);
    rightAligned(unitText, plot.y + metrics.ascent() * 1.6);
    rightAligned(QStringLiteral("0"), plot.bottom());
    painter.fillRect(QRectF(plot.x - 3, plot.y, 3 - pixel, pixel), Qt::black); // the top's tick
    if (slotKind == chart::Slots::Hours) { // a day's hours are not what the table shows: say whose
        const QString title = QString::fromStdString(periodTitle + ", by hour");
        painter.drawText(QPointF(plot.x + plot.width - metrics.horizontalAdvance(title), plot.y + metrics.ascent()), title);
    }
    const double labelBaseline = plot.bottom() + 2 + metrics.ascent();
    for (const auto& [index, middle] : picture.slotLabels) {
        const QString text = slotKind == chart::Slots::Months ? QString(QLatin1Char(kMonthLetters[index]))
                                                               : QString::number(index);
        painter.drawText(QPointF(middle - metrics.horizontalAdvance(text) / 2, labelBaseline), text);
    }
}

void HistoryChart::mousePressEvent(QMouseEvent* event)
{
    const chart::Period period{&sums, periodSlots, divisor, slotKind};
    if (const std::optional<int> index = chart::slotAt(period, lastPlot, event->position().x()); index && onSlotClicked)
        onSlotClicked(*index);
    QWidget::mousePressEvent(event);
}

void HistoryChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, size());
}
