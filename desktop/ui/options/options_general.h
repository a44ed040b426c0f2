#pragma once
// The General page of the Options dialog: rate unit, graph history length and the graph's
// colours, each chosen by a click on its swatch.

#include <QWidget>
#include <cstdint>
#include <optional>

class ColourSwatch;
class QComboBox;
class QLineEdit;
class QSlider;

class OptionsGeneral : public QWidget {
    Q_OBJECT
public:
    explicit OptionsGeneral(QWidget* parent = nullptr);

    // Fills the rate unit list and sets the slider's range; the selections are the dialog's.
    void initialise();

    // The list position of the divisor, or none for a value the list does not hold.
    void selectUnitDivisor(std::uint32_t divisor);
    std::optional<std::uint32_t> selectedUnitDivisor() const;
    void setHistoryLength(std::uint32_t length);
    std::uint32_t historyLength() const;
    // The graph's colours, 0xRRGGBB.
    void setColours(std::uint32_t download, std::uint32_t upload);
    std::uint32_t downloadColour() const;
    std::uint32_t uploadColour() const;
    // Days the hours are kept; none for text that is not a number of days the run can keep.
    void setKeepHoursDays(int days);
    std::optional<int> keepHoursDays() const;

private:
    QComboBox* rateUnitBox;
    QSlider* historySlider;
    ColourSwatch* downloadSwatch;
    ColourSwatch* uploadSwatch;
    QLineEdit* keepHoursEdit;
};
