#pragma once
// The Activity History window: day totals of one profile for one month, in a chosen size unit.
// It reads copies from a ProfileSource (the engine) and follows new traffic while shown:
// once a second the boxes and the table are brought up to date, keeping what the user chose.
// Above the table, the shown profile's quotas: the current period's use of each; beside it a
// chart of what the table shows; a click on a day's bars shows that day's hours, where the
// usage database keeps them, and another click the month again. The month box ends with the
// whole year: its months.

#include "profile/day_history.h"
#include "profile/profile_source.h"

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class HistoryChart;
class QComboBox;
class QLabel;
class QTreeWidget;

class CHistoryDlg : public QDialog {
    Q_OBJECT
public:
    // `quotaLines` gives a profile's quota lines (the current period's use of each) for the
    // label beside the table; without it the label stays empty.
    using QuotaLines = std::function<std::vector<std::string>(const std::string& profile)>;
    explicit CHistoryDlg(const ProfileSource& profiles, QWidget* parent = nullptr, QuotaLines quotaLines = {});

    // The size unit's position in the Size box (month_table.h), used at the next opening.
    int sizeUnit() const { return chosenSizeUnit; }
    void setSizeUnit(int unit);
    // A day's hours: the rows by hour (0 from midnight) and the day's hour count (23 to 25);
    // no hours (0) where none are kept for that day.
    struct HoursOfDay {
        PeriodSums sums;
        int hourCount = 0;
    };
    using DayHours = std::function<HoursOfDay(const std::string& profile, const LocalDate& date)>;
    void setDayHours(DayHours hours) { dayHours = std::move(hours); }
    // The chart's bars in the main window's graph colours (0xRRGGBB).
    void setColours(std::uint32_t download, std::uint32_t upload);

    static constexpr int kRefreshMilliseconds = 1000;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void initialise();
    void refillYears(const std::string& wantedYear = {});
    void refillMonths(const std::string& wantedMonth = {});
    void fillTable();
    void showMonth();
    void followTraffic();
    void fitColumns();
    void showQuotas();
    void slotClicked(int index);

    void profileChanged();
    void yearChanged();
    void sizeChanged();

    static std::string selectedText(const QComboBox* box);

    const ProfileSource& profiles;
    std::optional<std::string> currentProfile; // name of the profile the year and month boxes show
    int chosenSizeUnit;
    QTimer refreshTimer;
    QComboBox* profileBox;
    QComboBox* sizeBox;
    QComboBox* monthBox;
    QComboBox* yearBox;
    QTreeWidget* table;
    HistoryChart* chart;
    DayHours dayHours;
    std::optional<int> shownDay; // the day whose hours the chart shows, in the month shown
    QuotaLines quotaLines;
    QLabel* quotaLabel;
};
