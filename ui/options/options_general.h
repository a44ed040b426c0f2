#pragma once
// The General page of the Options dialog: rate unit, graph history length and the colour legend.

#include <QWidget>
#include <cstdint>
#include <optional>

class QComboBox;
class QSlider;

class OptionsGeneral : public QWidget {
    Q_OBJECT
public:
    // The graph's brushes, shown as a legend; ARGB.
    static constexpr std::uint32_t kDownloadColour = 0x8000C864;
    static constexpr std::uint32_t kUploadColour = 0x800064C8;

    explicit OptionsGeneral(QWidget* parent = nullptr);

    // Fills the rate unit list and sets the slider's range; the selections are the dialog's.
    void initialise();

    // The list position of the divisor, or none for a value the list does not hold.
    void selectUnitDivisor(std::uint32_t divisor);
    std::optional<std::uint32_t> selectedUnitDivisor() const;
    void setHistoryLength(std::uint32_t length);
    std::uint32_t historyLength() const;

private:
    QComboBox* rateUnitBox;
    QSlider* historySlider;
};
