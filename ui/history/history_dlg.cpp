#include "ui/history/history_dlg.h"

#include "widgets/dialog_builder.h"
#include "res/history_layout.h"
#include "ui/history/month_table.h"

#include <QComboBox>
#include <QHeaderView>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <mutex>

namespace {

constexpr int kColumnWidths[] = {45, 100, 100, 100};

// The list view has no grid of its own; cell borders draw one.
constexpr const char* kGridStyle =
    "QTreeView::item { border-right: 1px solid palette(midlight);"
    " border-bottom: 1px solid palette(midlight); }";

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

CHistoryDlg::CHistoryDlg(SharedProfiles& sharedProfiles, QWidget* parent)
    : QDialog(parent), profiles(sharedProfiles)
{
    buildDialog(this, historyLayout());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    profileBox = control<QComboBox>(this, kHistoryProfileBoxId);
    sizeBox = control<QComboBox>(this, kHistorySizeBoxId);
    monthBox = control<QComboBox>(this, kHistoryMonthBoxId);
    yearBox = control<QComboBox>(this, kHistoryYearBoxId);
    table = control<QTreeWidget>(this, kHistoryTableId);

    table->setColumnCount(4);
    table->setHeaderLabels({"Day", "Total Downloaded", "Total Uploaded", "Total"});
    for (int column = 0; column < 4; ++column)
        table->setColumnWidth(column, kColumnWidths[column]);
    table->setStyleSheet(table->styleSheet() + QLatin1String(kGridStyle)); // after the frame's rule

    // The event table: selection changes made by the user. The window's own refills block them.
    using Box = QComboBox;
    connect(profileBox, &Box::currentIndexChanged, this, &CHistoryDlg::profileChanged);
    connect(yearBox, &Box::currentIndexChanged, this, &CHistoryDlg::yearChanged);
    connect(monthBox, &Box::currentIndexChanged, this, &CHistoryDlg::fillTable);
    connect(sizeBox, &Box::currentIndexChanged, this, &CHistoryDlg::fillTable);
}

void CHistoryDlg::showEvent(QShowEvent* event)
{
    // Every opening starts afresh; a window system's re-show (after un-minimising) does not.
    if (!event->spontaneous())
        initialise();
    QDialog::showEvent(event);
}

void CHistoryDlg::initialise()
{
    const QSignalBlocker blockProfiles(profileBox);
    const QSignalBlocker blockSizes(sizeBox);
    profileBox->clear();
    std::vector<std::string> names;
    {
        std::unique_lock lock(profiles.guard);
        for (const CProfile& profile : profiles.profiles)
            names.push_back(profile.name);
    }
    for (const std::string& name : names)
        profileBox->addItem(fromStd(name));
    profileBox->setCurrentIndex(names.empty() ? -1 : 0);
    currentProfile = names.empty() ? std::nullopt : std::optional(names.front());

    sizeBox->clear();
    for (const SizeUnit& unit : kSizeUnits)
        sizeBox->addItem(unit.text);
    sizeBox->setCurrentIndex(kDefaultSizeUnit);

    refillYears();
    refillMonths();
    fillTable();
}

void CHistoryDlg::refillYears()
{
    if (!currentProfile)
        return;
    const std::optional<CProfile> profile = copyProfile(*currentProfile);
    const QSignalBlocker block(yearBox);
    yearBox->clear();
    if (!profile)
        return;
    for (const std::string& year : yearChoices(*profile))
        yearBox->addItem(fromStd(year));
    yearBox->setCurrentIndex(yearBox->count() - 1);
}

void CHistoryDlg::refillMonths()
{
    if (!currentProfile)
        return;
    const std::optional<CProfile> profile = copyProfile(*currentProfile);
    const QSignalBlocker block(monthBox);
    monthBox->clear();
    const int position = yearBox->currentIndex();
    if (!profile || position < 0 || std::size_t(position) >= profile->history.size())
        return;
    for (int month : monthsWithTraffic(profile->history[std::size_t(position)]))
        monthBox->addItem(kMonthNames[std::size_t(month)]);
    monthBox->setCurrentIndex(monthBox->count() - 1);
}

void CHistoryDlg::fillTable()
{
    const int month = monthIndexOf(selectedText(monthBox));
    const int year = static_cast<int>(readDecimalInteger(selectedText(yearBox)));
    table->clear();
    const std::optional<CProfile> profile = copyProfile(selectedText(profileBox));
    if (!profile)
        return;
    const int unit = sizeBox->currentIndex();
    const double divisor = unit >= 0 && std::size_t(unit) < kSizeUnits.size()
                               ? kSizeUnits[std::size_t(unit)].divisor
                               : kSizeUnits[kDefaultSizeUnit].divisor;
    for (const MonthTableRow& row : monthTable(*profile, year, month, divisor)) {
        QStringList cells{fromStd(row.day)};
        if (!row.downloaded.empty())
            cells << fromStd(row.downloaded) << fromStd(row.uploaded) << fromStd(row.total);
        table->addTopLevelItem(new QTreeWidgetItem(cells));
    }
    table->scrollToBottom();
}

void CHistoryDlg::profileChanged()
{
    const std::string name = selectedText(profileBox);
    currentProfile = copyProfile(name) ? std::optional(name) : std::nullopt;
    refillYears();
    refillMonths();
    fillTable();
}

void CHistoryDlg::yearChanged()
{
    refillMonths();
    fillTable();
}

std::optional<CProfile> CHistoryDlg::copyProfile(const std::string& name) const
{
    std::unique_lock lock(profiles.guard);
    const CProfile* profile = findProfileByName(profiles.profiles, name);
    if (profile == nullptr)
        return std::nullopt;
    CProfile copy = *profile;
    lock.unlock();
    copy.dropUnusedReservations();
    return copy;
}

std::string CHistoryDlg::selectedText(const QComboBox* box)
{
    const int index = box->currentIndex();
    return index < 0 ? std::string() : box->itemText(index).toStdString();
}
