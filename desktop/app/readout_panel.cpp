#include "desktop/app/readout_panel.h"

#include "desktop/widgets/dialog_builder.h"
#include "desktop/widgets/layouts/resource_ids.h"

#include <QEvent>
#include <QLabel>

namespace {

// Value controls of each readout kind (download, upload), in ReadoutKind order.
constexpr int kValueIds[4][2] = {{1001, 1002}, {1003, 1004}, {1005, 1006}, {1011, 1012}};
// The unit label beside each value control, in the same order.
constexpr int kValueUnitIds[4][2] = {{1007, 1008}, {1031, 1032}, {1009, 1010}, {1033, 1034}};
// The eight unit labels, in the order they are rewritten.
constexpr int kUnitLabelIds[8] = {1007, 1008, 1031, 1032, 1009, 1010, 1033, 1034};

// Whether the text shows whole in the label: the value labels are right-aligned, so a longer
// text would lose its leading digits.
bool fitsIn(const QLabel* label, const std::string& text)
{
    return label->fontMetrics().horizontalAdvance(QString::fromStdString(text)) <= label->contentsRect().width();
}

} // namespace

ReadoutPanel::ReadoutPanel(QWidget* client)
    : QObject(client), client(client), graphFrame(control(client, kGraphFrameId))
{
    graphFrame->installEventFilter(this);
    for (int kind = 0; kind < 4; ++kind)
        for (int direction = 0; direction < 2; ++direction) {
            values[kind][direction] = control<QLabel>(client, kValueIds[kind][direction]);
            units[kind][direction] = control<QLabel>(client, kValueUnitIds[kind][direction]);
        }
}

// A value whose text does not fit its control is shown in the next larger unit that fits, with
// that unit's label beside it; the label returns to the chosen unit's text once it fits again.
std::array<ReadoutText, 2> ReadoutPanel::show(ReadoutKind kind, float downloadBytes, float uploadBytes,
                                              std::uint32_t divisor)
{
    std::array<ReadoutText, 2> shown;
    const auto index = std::size_t(kind);
    if (index >= 4)
        return shown;
    const float bytes[2] = {downloadBytes, uploadBytes};
    for (int direction = 0; direction < 2; ++direction) {
        QLabel* value = values[index][direction];
        shown[direction] = fitReadout(bytes[direction], divisor,
                                      [value](const std::string& text) { return fitsIn(value, text); });
        value->setText(QString::fromStdString(shown[direction].text));
        units[index][direction]->setText(shown[direction].unitDivisor == divisor
                                              ? chosenUnitText
                                              : QString::fromStdString(unitLabel(shown[direction].unitDivisor)));
    }
    // The whole frame, not only the band below its top rows, so the scale label follows too.
    if (kind == ReadoutKind::Current)
        ratesDivisor = divisor;
    if (kind == ReadoutKind::Current &&
        rates.append(toDisplayUnit(downloadBytes, divisor), toDisplayUnit(uploadBytes, divisor)))
        graphFrame->update();
    return shown;
}

void ReadoutPanel::setUnitLabels(const QString& text)
{
    chosenUnitText = text;
    for (int id : kUnitLabelIds)
        control<QLabel>(client, id)->setText(text);
}

void ReadoutPanel::changeGraph(std::uint32_t oldDivisor, std::uint32_t divisor, std::uint32_t oldLength,
                               std::uint32_t length)
{
    if (length != oldLength)
        rates.resize(length);
    if (divisor != oldDivisor)
        rates.rescale(oldDivisor, divisor);
    ratesDivisor = divisor;
    graphFrame->update();
}

void ReadoutPanel::setColours(std::uint32_t download, std::uint32_t upload)
{
    downloadColour = download;
    uploadColour = upload;
    graphFrame->update();
}

bool ReadoutPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == graphFrame && event->type() == QEvent::Paint) {
        painter.setDevicePixelRatio(graphFrame->devicePixelRatioF());
        painter.render(rates, ratesDivisor, downloadColour, uploadColour);
        painter.copyTo(graphFrame);
        return true;
    }
    return QObject::eventFilter(watched, event);
}
