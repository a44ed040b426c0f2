#include "ui/options/options_general.h"

#include "widgets/dialog_builder.h"
#include "res/options_layouts.h"

#include <QComboBox>
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

// Fills its parent, the framed swatch, with a colour blended over what lies beneath, frame
// included, as the graph blends its areas over the background.
class ColourSwatch : public QWidget {
public:
    ColourSwatch(std::uint32_t argb, QWidget* frame) : QWidget(frame), colour(QColor::fromRgba(argb))
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setGeometry(frame->rect());
        show();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(QRect(0, 0, 100, 100), colour);
    }

private:
    QColor colour;
};

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
    new ColourSwatch(kDownloadColour, control(this, kDownloadSwatchId));
    new ColourSwatch(kUploadColour, control(this, kUploadSwatchId));
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
