#pragma once
// The Applications window: for one profile and one period (today, this month, a past month),
// each application's download, upload and total, and on a second tab the same per interface,
// as the usage database (usage/usage_database.h) keeps them (with what the engine counted and
// has not saved yet, where it is asked), read only, and each application's
// live rate. A click on a column's header sorts by it; another click turns the order round.
// Opens on the profile the main window shows, the busiest first. While it is shown it reads
// everything again once a second, keeping the order and the selection.

#include "desktop/view/application_usage.h"
#include "profile/day_clock.h"
#include "profile/profile_source.h"
#include "usage/usage_database.h"

#include <QDialog>
#include <QIcon>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QTabWidget;
class QTimer;
class QTreeWidget;

class CApplicationsDlg : public QDialog {
    Q_OBJECT
public:
    struct Setup {
        std::filesystem::path usageFile; // usage.sqlite; a missing file shows empty tables
        std::string shownProfile;        // the main window's; the first profile when unknown
        bool kernelCounts = false;       // false: every byte is System, and the window says why
        const DayClock* clock = &DayClock::system();
        // Each application's bytes of the last second in a profile, asked once a second while
        // the window is shown; none: the rate column stays empty.
        std::function<LiveRates(const std::string& profile)> liveRates{};
        std::uint32_t rateDivisor = 1000; // the unit the main window shows rates in
        // A period's rows of one tab (0 applications, 1 interfaces): what the database holds
        // plus what was counted and not saved yet; none: usageFile as last saved.
        std::function<std::vector<NamedTotals>(int tab, const std::string& profile, const LocalDate& first,
                                               const LocalDate& last)>
            totalsOf{};
    };
    CApplicationsDlg(const ProfileSource& profiles, Setup setup, QWidget* parent = nullptr);

    // An application's icon by its name. Without one (or a null icon), the theme's generic
    // application icon (the computer's for System).
    using IconOf = std::function<QIcon(const std::string& application)>;
    void setIconOf(IconOf icons) { iconOf = std::move(icons); }

    QTreeWidget* applicationTable() const { return tables[0]; }
    QTreeWidget* interfaceTable() const { return tables[1]; }
    bool isRefreshing() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTreeWidget* makeTable(const QString& tab, int columns);
    void fillTables();
    void refresh(); // once a second: the period's figures again when it holds today, the rates
    void fillTable(int which);
    QIcon genericIcon(const std::string& application) const;

    const ProfileSource& profiles;
    Setup setup;
    UsageDatabase usage;
    IconOf iconOf;
    QComboBox* profileBox;
    QComboBox* periodBox;
    QLabel* notice;
    QTabWidget* tabs;
    QTreeWidget* tables[2]{};
    QTimer* refreshTimer;
    std::vector<NamedTotals> stored[2]; // the period's rows as the database has them
    LiveRates rates;                    // the applications' of the last second
    std::vector<NamedTotals> totals[2]; // what each table shows, in the order shown
};
