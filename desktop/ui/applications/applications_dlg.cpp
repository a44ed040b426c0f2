#include "desktop/ui/applications/applications_dlg.h"

#include "desktop/view/application_usage.h"
#include "desktop/widgets/dialog_builder.h"
#include "desktop/widgets/layouts/applications_layout.h"

#include <QComboBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QSet>
#include <QLabel>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

namespace {

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// The texts of a table's first column, for finding rows again after a refill.
QString rowKey(const QTreeWidgetItem* item)
{
    return item->text(0);
}

} // namespace

CApplicationsDlg::CApplicationsDlg(const ProfileSource& source, Setup chosen, QWidget* parent)
    : QDialog(parent), profiles(source), setup(std::move(chosen))
{
    buildDialog(this, applicationsLayout());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    profileBox = control<QComboBox>(this, kApplicationsProfileBoxId);
    periodBox = control<QComboBox>(this, kApplicationsPeriodBoxId);
    notice = control<QLabel>(this, kApplicationsNoticeId);
    tabs = control<QTabWidget>(this, kApplicationsTabsId);
    tables[0] = makeTable(QStringLiteral("Applications"), kApplicationColumnCount);
    tables[1] = makeTable(QStringLiteral("Interfaces"), kUsageColumnCount);
    notice->setText(fromStd(attributionNotice(setup.kernelCounts)));
    refreshTimer = new QTimer(this);
    refreshTimer->setInterval(1000);
    connect(refreshTimer, &QTimer::timeout, this, &CApplicationsDlg::refresh);

    connect(profileBox, &QComboBox::currentIndexChanged, this, &CApplicationsDlg::fillTables);
    connect(periodBox, &QComboBox::currentIndexChanged, this, &CApplicationsDlg::fillTables);
}

QTreeWidget* CApplicationsDlg::makeTable(const QString& tab, int columns)
{
    auto* table = new QTreeWidget;
    table->setRootIsDecorated(false);
    table->setUniformRowHeights(true);
    table->setAllColumnsShowFocus(true);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setColumnCount(columns);
    QStringList headers;
    for (const char* text : kUsageColumnTexts)
        headers << QString::fromUtf8(text);
    if (columns > kUsageColumnCount)
        headers << fromStd(liveRateHeader(setup.rateDivisor));
    table->setHeaderLabels(headers);
    QTreeWidgetItem* header = table->headerItem();
    if (columns > kUsageColumnCount)
        header->setToolTip(int(UsageColumn::Rate), QStringLiteral("Download / upload in the last second"));
    for (int column = 1; column < columns; ++column) {
        header->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        header->setData(column, Qt::InitialSortOrderRole, Qt::DescendingOrder); // busiest first
    }
    // The header keeps the order chosen; the rows are sorted here, not by the view.
    table->header()->setSectionsClickable(true);
    table->header()->setSortIndicatorShown(true);
    table->header()->setSortIndicator(int(UsageColumn::Total), Qt::DescendingOrder);
    table->header()->setStretchLastSection(false);
    table->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    const int which = tables[0] ? 1 : 0;
    connect(table->header(), &QHeaderView::sortIndicatorChanged, this, [this, which] { fillTable(which); });
    tabs->addTab(table, tab);
    return table;
}

void CApplicationsDlg::showEvent(QShowEvent* event)
{
    // Every opening starts afresh on the main window's profile and today.
    if (!event->spontaneous()) {
        const QSignalBlocker blockProfiles(profileBox), blockPeriods(periodBox);
        profileBox->clear();
        for (const std::string& name : profiles.profileNames())
            profileBox->addItem(fromStd(name));
        profileBox->setCurrentIndex(std::max(0, profileBox->findText(fromStd(setup.shownProfile), Qt::MatchExactly)));
        periodBox->clear();
        for (const UsagePeriod& period : usagePeriods(setup.clock->today()))
            periodBox->addItem(fromStd(period.text));
        periodBox->setCurrentIndex(0);
        fillTables();
    }
    refreshTimer->start();
    QDialog::showEvent(event);
}

void CApplicationsDlg::hideEvent(QHideEvent* event)
{
    refreshTimer->stop();
    QDialog::hideEvent(event);
}

bool CApplicationsDlg::isRefreshing() const
{
    return refreshTimer->isActive();
}

void CApplicationsDlg::fillTables()
{
    const std::vector<UsagePeriod> periods = usagePeriods(setup.clock->today());
    const int chosen = periodBox->currentIndex();
    const std::string profile = profileBox->currentText().toStdString();
    stored[0].clear();
    stored[1].clear();
    const bool known = chosen >= 0 && std::size_t(chosen) < periods.size() && !profile.empty();
    if (known && setup.totalsOf) {
        const UsagePeriod& period = periods[std::size_t(chosen)];
        for (int tab : {0, 1})
            stored[tab] = setup.totalsOf(tab, profile, period.first, period.last);
    } else if (known && (usage.isOpen() || usage.openForReading(setup.usageFile))) {
        // Opened at the first look once the file exists; the engine makes it at its first save.
        const UsagePeriod& period = periods[std::size_t(chosen)];
        stored[0] = usage.applicationTotals(profile, period.first, period.last);
        stored[1] = usage.interfaceTotals(profile, period.first, period.last);
    }
    rates = setup.liveRates && !profile.empty() ? setup.liveRates(profile) : LiveRates();
    fillTable(0);
    fillTable(1);
}

void CApplicationsDlg::refresh()
{
    const LocalDate today = setup.clock->today();
    const std::vector<UsagePeriod> periods = usagePeriods(today);
    const int chosen = periodBox->currentIndex();
    // A past month's figures stay as they were read; today's and this month's grow.
    if (chosen >= 0 && std::size_t(chosen) < periods.size() && today <= periods[std::size_t(chosen)].last) {
        fillTables();
        return;
    }
    const std::string profile = profileBox->currentText().toStdString();
    rates = setup.liveRates && !profile.empty() ? setup.liveRates(profile) : LiveRates();
    fillTable(0);
}

void CApplicationsDlg::fillTable(int which)
{
    QTreeWidget* table = tables[which];
    const QHeaderView* header = table->header();
    totals[which] = stored[which];
    const bool withRates = which == 0;
    if (withRates)
        addLiveOnly(totals[which], rates);
    sortUsage(totals[which], UsageColumn(header->sortIndicatorSection()),
              header->sortIndicatorOrder() == Qt::DescendingOrder, rates);
    const std::vector<UsageRow> rows = usageRows(totals[which]);
    // The rows are made anew: the selection, the current row and the scrolling are kept by name.
    QSet<QString> selected;
    for (const QTreeWidgetItem* item : table->selectedItems())
        selected.insert(rowKey(item));
    const QString current = table->currentItem() != nullptr ? rowKey(table->currentItem()) : QString();
    const int scrolled = table->verticalScrollBar()->value();
    table->clear();
    QList<QTreeWidgetItem*> items;
    // One generic icon for every row without its own: each QIcon made draws its images afresh.
    const QIcon generic = genericIcon({}), system = genericIcon("System");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const UsageRow& row = rows[i];
        QStringList cells{fromStd(row.name), fromStd(row.downloaded), fromStd(row.uploaded), fromStd(row.total)};
        if (withRates) {
            const auto rate = rates.find(totals[which][i].name);
            cells << (rate == rates.end() ? QString() : fromStd(liveRateText(rate->second, setup.rateDivisor)));
        }
        auto* item = new QTreeWidgetItem(cells);
        for (int column = 1; column < cells.size(); ++column)
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        if (which == 0) {
            const QIcon icon = iconOf ? iconOf(totals[which][i].name) : QIcon();
            item->setIcon(0, !icon.isNull() ? icon : totals[which][i].name == "System" ? system : generic);
        } else if (!totals[which][i].hardwareAddress.empty())
            item->setToolTip(0, fromStd(totals[which][i].hardwareAddress));
        items << item;
    }
    table->addTopLevelItems(items);
    for (QTreeWidgetItem* item : items) {
        if (selected.contains(rowKey(item)))
            item->setSelected(true);
        if (!current.isEmpty() && rowKey(item) == current)
            table->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
    }
    table->verticalScrollBar()->setValue(scrolled);
    for (int column = 1; column < table->columnCount(); ++column)
        table->resizeColumnToContents(column);
}

// For an application without an icon of its own.
QIcon CApplicationsDlg::genericIcon(const std::string& application) const
{
    if (application == "System")
        return QIcon::fromTheme(QStringLiteral("computer"), style()->standardIcon(QStyle::SP_ComputerIcon));
    return QIcon::fromTheme(QStringLiteral("application-x-executable"), style()->standardIcon(QStyle::SP_FileIcon));
}
