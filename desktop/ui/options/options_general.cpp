#include "desktop/ui/options/options_general.h"

#include "desktop/widgets/dialog_builder.h"
#include "desktop/widgets/layouts/options_layouts.h"

#include "desktop/widgets/display_settings.h"

#include <QColorDialog>
#include <QComboBox>
#include <QIntValidator>
#include <QLineEdit>
#include <QMouseEvent>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <array>

namespace {

struct RateUnit {
    const char* text;
    std::uint32_t divisor;
};

constexpr std::array<RateUnit, 4> kRateUnits{{
    {"B/s", 1}, {"KB/s", 1000}, {"MB/s", 1000000}, {"GB/s", 1000000000}}};

constexpr int kSliderSteps = 6;      // positions 0..6
constexpr std::uint32_t kSamplesPerStep = 10;

} // namespace

// Fills its parent, the framed swatch, with a colour blended over what lies beneath, frame
// included, as the graph blends its areas over the background. A click chooses another colour.
class ColourSwatch : public QWidget {
public:
    ColourSwatch(std::uint32_t rgb, const QString& title, QWidget* frame) : QWidget(frame), title(title)
    {
        setColour(rgb);
        setCursor(Qt::PointingHandCursor);
        setToolTip(QStringLiteral("Click to choose the colour"));
        setAccessibleName(title);
        setGeometry(frame->rect());
        show();
    }

    void setColour(std::uint32_t rgb)
    {
        colour = QColor::fromRgb(QRgb(rgb));
        update();
    }
    std::uint32_t rgb() const { return colour.rgb() & 0xFFFFFFu; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QColor fill = colour;
        fill.setAlpha(0x80);
        QPainter painter(this);
        painter.fillRect(QRect(0, 0, 100, 100), fill);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
            return;
        const QColor chosen = QColorDialog::getColor(colour, this, title, QColorDialog::DontUseNativeDialog);
        if (chosen.isValid())
            setColour(chosen.rgb() & 0xFFFFFFu);
    }

private:
    QColor colour;
    QString title;
};

namespace {

// The label widths of the layout fit the narrower Windows dialog font; here each label stays on
// one line and takes the width its text needs (nothing lies right beside them).
void keepLabelsOnOneLine(QWidget* page)
{
    for (QLabel* label : page->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        label->setWordWrap(false);
        label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
    }
}

} // namespace

OptionsGeneral::OptionsGeneral(QWidget* parent) : QWidget(parent)
{
    buildDialog(this, optionsGeneralLayout());
    // A page takes the size its tab gives it; the layout's size is only its minimum.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    rateUnitBox = control<QComboBox>(this, kRateUnitBoxId);
    historySlider = control<QSlider>(this, kGraphHistorySliderId);
    keepLabelsOnOneLine(this);
    downloadSwatch = new ColourSwatch(DisplaySettings::kDefaultDownloadColour, QStringLiteral("Download Rate Colour"),
                                      control(this, kDownloadSwatchId));
    uploadSwatch = new ColourSwatch(DisplaySettings::kDefaultUploadColour, QStringLiteral("Upload Rate Colour"),
                                    control(this, kUploadSwatchId));
    keepHoursEdit = control<QLineEdit>(this, kKeepHoursEditId);
    keepHoursEdit->setValidator(new QIntValidator(1, DisplaySettings::kMaxKeepHoursDays, keepHoursEdit));
    keepHoursEdit->setAccessibleName(QStringLiteral("Keep Hours For (days)"));
}

void OptionsGeneral::initialise()
{
    rateUnitBox->clear();
    for (const RateUnit& unit : kRateUnits)
        rateUnitBox->addItem(unit.text);
    historySlider->setRange(0, kSliderSteps);
    historySlider->setTickInterval(1);
    historySlider->setPageStep(1);
}

void OptionsGeneral::selectUnitDivisor(std::uint32_t divisor)
{
    int position = -1;
    for (std::size_t i = 0; i < kRateUnits.size(); ++i)
        if (kRateUnits[i].divisor == divisor)
            position = static_cast<int>(i);
    rateUnitBox->setCurrentIndex(position);
}

std::optional<std::uint32_t> OptionsGeneral::selectedUnitDivisor() const
{
    const int position = rateUnitBox->currentIndex();
    if (position < 0 || std::size_t(position) >= kRateUnits.size())
        return std::nullopt;
    return kRateUnits[std::size_t(position)].divisor;
}

void OptionsGeneral::setHistoryLength(std::uint32_t length)
{
    historySlider->setValue(static_cast<int>(length / kSamplesPerStep));
}

std::uint32_t OptionsGeneral::historyLength() const
{
    return static_cast<std::uint32_t>(historySlider->value()) * kSamplesPerStep;
}

void OptionsGeneral::setColours(std::uint32_t download, std::uint32_t upload)
{
    downloadSwatch->setColour(download);
    uploadSwatch->setColour(upload);
}

std::uint32_t OptionsGeneral::downloadColour() const
{
    return downloadSwatch->rgb();
}

std::uint32_t OptionsGeneral::uploadColour() const
{
    return uploadSwatch->rgb();
}

void OptionsGeneral::setKeepHoursDays(int days)
{
    keepHoursEdit->setText(QString::number(days));
}

std::optional<int> OptionsGeneral::keepHoursDays() const
{
    bool ok = false;
    const int days = keepHoursEdit->text().trimmed().toInt(&ok);
    if (!ok || days < 1 || days > DisplaySettings::kMaxKeepHoursDays)
        return std::nullopt;
    return days;
}
