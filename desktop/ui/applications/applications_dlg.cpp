#include "desktop/ui/applications/applications_dlg.h"

#include "desktop/view/application_usage.h"
#include "desktop/widgets/dialog_builder.h"
#include "desktop/widgets/layouts/applications_layout.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>
#include <algorithm>

namespace {

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
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
    tables[0] = makeTable(QStringLiteral("Applications"));
    tables[1] = makeTable(QStringLiteral("Interfaces"));
    notice->setText(fromStd(attributionNotice(setup.kernelCounts)));

    connect(profileBox, &QComboBox::currentIndexChanged, this, &CApplicationsDlg::fillTables);
    connect(periodBox, &QComboBox::currentIndexChanged, this, &CApplicationsDlg::fillTables);
}

QTreeWidget* CApplicationsDlg::makeTable(const QString& tab)
{
    auto* table = new QTreeWidget;
    table->setRootIsDecorated(false);
    table->setUniformRowHeights(true);
    table->setAllColumnsShowFocus(true);
    table->setColumnCount(kUsageColumnCount);
    QStringList headers;
    for (const char* text : kUsageColumnTexts)
        headers << QString::fromUtf8(text);
    table->setHeaderLabels(headers);
    QTreeWidgetItem* header = table->headerItem();
    for (int column = 1; column < kUsageColumnCount; ++column) {
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
    QDialog::showEvent(event);
}

void CApplicationsDlg::fillTables()
{
    const std::vector<UsagePeriod> periods = usagePeriods(setup.clock->today());
    const int chosen = periodBox->currentIndex();
    const std::string profile = profileBox->currentText().toStdString();
    totals[0].clear();
    totals[1].clear();
    // Opened at the first look once the file exists; the engine makes it at its first save.
    if (chosen >= 0 && std::size_t(chosen) < periods.size() && !profile.empty() &&
        (usage.isOpen() || usage.openForReading(setup.usageFile))) {
        const UsagePeriod& period = periods[std::size_t(chosen)];
        totals[0] = usage.applicationTotals(profile, period.first, period.last);
        totals[1] = usage.interfaceTotals(profile, period.first, period.last);
    }
    fillTable(0);
    fillTable(1);
}

void CApplicationsDlg::fillTable(int which)
{
    QTreeWidget* table = tables[which];
    const QHeaderView* header = table->header();
    sortUsage(totals[which], UsageColumn(header->sortIndicatorSection()),
              header->sortIndicatorOrder() == Qt::DescendingOrder);
    const std::vector<UsageRow> rows = usageRows(totals[which]);
    table->clear();
    QList<QTreeWidgetItem*> items;
    // One generic icon for every row without its own: each QIcon made draws its images afresh.
    const QIcon generic = genericIcon({}), system = genericIcon("System");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const UsageRow& row = rows[i];
        auto* item = new QTreeWidgetItem(QStringList{fromStd(row.name), fromStd(row.downloaded),
                                                     fromStd(row.uploaded), fromStd(row.total)});
        for (int column = 1; column < kUsageColumnCount; ++column)
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        if (which == 0) {
            const QIcon icon = iconOf ? iconOf(totals[which][i].name) : QIcon();
            item->setIcon(0, !icon.isNull() ? icon : totals[which][i].name == "System" ? system : generic);
        } else if (!totals[which][i].hardwareAddress.empty())
            item->setToolTip(0, fromStd(totals[which][i].hardwareAddress));
        items << item;
    }
    table->addTopLevelItems(items);
    for (int column = 1; column < kUsageColumnCount; ++column)
        table->resizeColumnToContents(column);
}

// For an application without an icon of its own.
QIcon CApplicationsDlg::genericIcon(const std::string& application) const
{
    if (application == "System")
        return QIcon::fromTheme(QStringLiteral("computer"), style()->standardIcon(QStyle::SP_ComputerIcon));
    return QIcon::fromTheme(QStringLiteral("application-x-executable"), style()->standardIcon(QStyle::SP_FileIcon));
}
