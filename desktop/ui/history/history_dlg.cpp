#include "desktop/ui/history/history_dlg.h"

#include "desktop/ui/history/history_chart.h"
#include "desktop/widgets/dialog_builder.h"
#include "desktop/widgets/layouts/history_layout.h"
#include "desktop/view/month_table.h"
#include "quota/quota_period.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <algorithm>

namespace {

// The list view has no grid of its own; cell borders draw one.
constexpr const char* kGridStyle =
    "QTreeView::item { border-right: 1px solid palette(midlight);"
    " border-bottom: 1px solid palette(midlight); }";

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

CHistoryDlg::CHistoryDlg(const ProfileSource& source, QWidget* parent, QuotaLines quotaLines)
    : QDialog(parent), profiles(source), chosenSizeUnit(kDefaultSizeUnit), quotaLines(std::move(quotaLines))
{
    buildDialog(this, historyLayout());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    profileBox = control<QComboBox>(this, kHistoryProfileBoxId);
    sizeBox = control<QComboBox>(this, kHistorySizeBoxId);
    monthBox = control<QComboBox>(this, kHistoryMonthBoxId);
    yearBox = control<QComboBox>(this, kHistoryYearBoxId);
    table = control<QTreeWidget>(this, kHistoryTableId);
    quotaLabel = control<QLabel>(this, kHistoryQuotaLabelId);
    quotaLabel->setWordWrap(false);
    quotaLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    table->setColumnCount(4);
    table->setHeaderLabels({"Day", "Total Downloaded", "Total Uploaded", "Total"});
    for (int column = 1; column < 4; ++column)
        table->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    table->setStyleSheet(table->styleSheet() + QLatin1String(kGridStyle)); // after the frame's rule
    fitColumns();
    QWidget* chartFrame = control(this, kHistoryChartId);
    chart = new HistoryChart(chartFrame);
    auto* chartLayout = new QHBoxLayout(chartFrame);
    chartLayout->setContentsMargins(1, 1, 1, 1); // inside the frame's line
    chartLayout->addWidget(chart);
    chart->onSlotClicked = [this](int index) { slotClicked(index); };

    // The event table: selection changes made by the user. The window's own refills block them.
    using Box = QComboBox;
    connect(profileBox, &Box::currentIndexChanged, this, &CHistoryDlg::profileChanged);
    connect(yearBox, &Box::currentIndexChanged, this, &CHistoryDlg::yearChanged);
    connect(monthBox, &Box::currentIndexChanged, this, &CHistoryDlg::showMonth);
    connect(sizeBox, &Box::currentIndexChanged, this, &CHistoryDlg::sizeChanged);
    refreshTimer.setInterval(kRefreshMilliseconds);
    connect(&refreshTimer, &QTimer::timeout, this, &CHistoryDlg::followTraffic);
}

// Each column as wide as its header text and its cells need, so neither is cut; the amount
// columns share what the table has left beside its vertical scroll bar. Amounts too wide for
// the table scroll it sideways rather than lose digits.
void CHistoryDlg::fitColumns()
{
    const int room = table->width() - 2 * table->frameWidth() -
                     table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table);
    int widths[4];
    int total = 0;
    for (int column = 0; column < 4; ++column) {
        table->resizeColumnToContents(column); // the header's text or the widest cell
        widths[column] = table->columnWidth(column);
        total += widths[column];
    }
    const int spare = std::max(0, room - total);
    for (int column = 1; column < 4; ++column)
        widths[column] += spare / 3;
    for (int column = 0; column < 4; ++column)
        table->setColumnWidth(column, widths[column]);
}

void CHistoryDlg::setSizeUnit(int unit)
{
    if (unit >= 0 && std::size_t(unit) < kSizeUnits.size())
        chosenSizeUnit = unit;
}

void CHistoryDlg::setColours(std::uint32_t download, std::uint32_t upload)
{
    chart->setColours(download, upload);
}

void CHistoryDlg::showEvent(QShowEvent* event)
{
    // Every opening starts afresh; a window system's re-show (after un-minimising) does not.
    if (!event->spontaneous())
        initialise();
    refreshTimer.start();
    QDialog::showEvent(event);
}

void CHistoryDlg::hideEvent(QHideEvent* event)
{
    refreshTimer.stop();
    QDialog::hideEvent(event);
}

void CHistoryDlg::initialise()
{
    const QSignalBlocker blockProfiles(profileBox);
    const QSignalBlocker blockSizes(sizeBox);
    profileBox->clear();
    const std::vector<std::string> names = profiles.profileNames();
    for (const std::string& name : names)
        profileBox->addItem(fromStd(name));
    profileBox->setCurrentIndex(names.empty() ? -1 : 0);
    currentProfile = names.empty() ? std::nullopt : std::optional(names.front());

    sizeBox->clear();
    for (const char* text : kSizeUnitTexts)
        sizeBox->addItem(text);
    sizeBox->setCurrentIndex(chosenSizeUnit);

    refillYears();
    refillMonths();
    showMonth();
}

// The years of the current profile; `wantedYear` stays selected while it is there, else the
// last year is.
void CHistoryDlg::refillYears(const std::string& wantedYear)
{
    if (!currentProfile)
        return;
    const std::optional<CProfile> profile = profiles.profileCopy(*currentProfile);
    const QSignalBlocker block(yearBox);
    yearBox->clear();
    if (!profile)
        return;
    for (const std::string& year : yearChoices(*profile))
        yearBox->addItem(fromStd(year));
    const int wanted = wantedYear.empty() ? -1 : yearBox->findText(fromStd(wantedYear), Qt::MatchExactly);
    yearBox->setCurrentIndex(wanted >= 0 ? wanted : yearBox->count() - 1);
}

void CHistoryDlg::refillMonths(const std::string& wantedMonth)
{
    if (!currentProfile)
        return;
    const std::optional<CProfile> profile = profiles.profileCopy(*currentProfile);
    const QSignalBlocker block(monthBox);
    monthBox->clear();
    const int position = yearBox->currentIndex();
    if (!profile || position < 0 || std::size_t(position) >= profile->history.size())
        return;
    for (int month : monthsWithTraffic(profile->history[std::size_t(position)]))
        monthBox->addItem(kMonthNames[std::size_t(month)]);
    const int lastMonth = monthBox->count() - 1;
    if (lastMonth >= 0)
        monthBox->addItem(kWholeYearText);
    const int wanted = wantedMonth.empty() ? -1 : monthBox->findText(fromStd(wantedMonth), Qt::MatchExactly);
    monthBox->setCurrentIndex(wanted >= 0 ? wanted : lastMonth);
}

void CHistoryDlg::fillTable()
{
    const int month = monthIndexOf(selectedText(monthBox));
    const int year = static_cast<int>(readDecimalInteger(selectedText(yearBox)));
    // The row the user selected and where the table was scrolled to, for a refill of the same
    // month; another month starts at its end.
    const QTreeWidgetItem* selected = table->currentItem();
    const QString selectedDay = selected != nullptr ? selected->text(0) : QString();
    const int scrolled = table->verticalScrollBar()->value();
    table->clear();
    table->headerItem()->setText(0, month < 0 ? "Month" : "Day");
    const std::optional<CProfile> profile = profiles.profileCopy(selectedText(profileBox));
    const int unit = sizeBox->currentIndex();
    const std::size_t shownUnit = unit >= 0 && std::size_t(unit) < kSizeUnits.size() ? std::size_t(unit) : kDefaultSizeUnit;
    const double divisor = kSizeUnits[shownUnit].divisor;
    const char* symbol = kSizeUnits[shownUnit].symbol;
    const std::string monthTitle = selectedText(yearBox).empty() // a profile without any year: nothing to name
                                       ? std::string()
                                       : std::string(kMonthNames[std::size_t(std::max(month, 0))]) + " " + std::to_string(year);
    HoursOfDay hours;
    if (shownDay && month >= 0 && dayHours)
        hours = dayHours(selectedText(profileBox), {year, month, *shownDay});
    if (hours.hourCount > 0)
        chart->showPeriod(hours.sums, hours.hourCount, chart::Slots::Hours, divisor, symbol,
                          std::to_string(*shownDay) + " " + monthTitle);
    else if (month < 0)
        chart->showPeriod(profile ? periodSums(*profile, year, month) : PeriodSums{}, 12, chart::Slots::Months, divisor,
                          symbol, std::to_string(year));
    else
        chart->showPeriod(profile ? periodSums(*profile, year, month) : PeriodSums{}, daysInMonth(year, month),
                          chart::Slots::Days, divisor, symbol, monthTitle);
    if (!profile)
        return;
    for (const MonthTableRow& row : monthTable(*profile, year, month, divisor)) {
        QStringList cells{fromStd(row.day)};
        if (!row.downloaded.empty())
            cells << fromStd(row.downloaded) << fromStd(row.uploaded) << fromStd(row.total);
        auto* item = new QTreeWidgetItem(cells);
        for (int column = 1; column < cells.size(); ++column) // amounts, right-aligned as numbers are
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        table->addTopLevelItem(item);
        if (!selectedDay.isEmpty() && item->text(0) == selectedDay)
            table->setCurrentItem(item);
    }
    fitColumns();
    table->verticalScrollBar()->setValue(scrolled);
}

// Once a second while shown: new years, months and days appear, the user's choices stay.
void CHistoryDlg::followTraffic()
{
    const std::string year = selectedText(yearBox);
    const std::string month = selectedText(monthBox);
    refillYears(year);
    refillMonths(month);
    fillTable();
    showQuotas();
}

void CHistoryDlg::showQuotas()
{
    QStringList lines;
    if (quotaLines && currentProfile)
        for (const std::string& line : quotaLines(*currentProfile))
            lines.push_back(QString::fromStdString(line));
    quotaLabel->setText(lines.join(QLatin1Char('\n')));
}

void CHistoryDlg::profileChanged()
{
    const std::string name = selectedText(profileBox);
    currentProfile = profiles.profileCopy(name) ? std::optional(name) : std::nullopt;
    refillYears();
    refillMonths();
    showMonth();
    showQuotas();
}

void CHistoryDlg::yearChanged()
{
    refillMonths();
    showMonth();
}

// A click on a day's bars shows its hours where they are kept; a click on the hours, the month.
void CHistoryDlg::slotClicked(int index)
{
    const int month = monthIndexOf(selectedText(monthBox));
    if (shownDay || month < 0 || !dayHours) {
        shownDay.reset();
    } else {
        const int year = static_cast<int>(readDecimalInteger(selectedText(yearBox)));
        if (dayHours(selectedText(profileBox), {year, month, index}).hourCount > 0)
            shownDay = index;
    }
    fillTable();
}

// Another month (or year, or profile) begins at its last days, nothing selected.
void CHistoryDlg::showMonth()
{
    shownDay.reset();
    table->clear();
    fillTable();
    table->scrollToBottom();
}

void CHistoryDlg::sizeChanged()
{
    setSizeUnit(sizeBox->currentIndex());
    fillTable();
}

std::string CHistoryDlg::selectedText(const QComboBox* box)
{
    const int index = box->currentIndex();
    return index < 0 ? std::string() : box->itemText(index).toStdString();
}
