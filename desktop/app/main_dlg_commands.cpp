// The main window's small commands: help, about, history, applications and options.
#include "desktop/app/about_dlg.h"
#include "desktop/app/application_icons_qt.h"
#include "desktop/app/main_dlg.h"
#include "desktop/app/manual_window.h"
#include "desktop/ui/applications/applications_dlg.h"
#include "desktop/ui/history/history_dlg.h"
#include "desktop/ui/history/usage_hours.h"
#include "desktop/ui/options/options_dlg.h"

#include <QCoreApplication>
#include <QDir>

void CMainDlg::openHelp()
{
    // The data directory is found from the binary, so an install under any prefix finds its own.
    const QString dataDirectory =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(VELMORA_DATA_DIR_FROM_BINARY));
    openManual(findHelpDocument(QDir::currentPath(), QDir::cleanPath(dataDirectory)));
}

void CMainDlg::openManual(const QString& file)
{
    showManual(this, file);
}

QWidget* CMainDlg::manual() const
{
    return findChild<ManualWindow*>();
}

void CMainDlg::showAbout()
{
    AboutDlg about(QString::fromStdString(engine.captureProblem()), engine.countingChoice(), this);
    about.exec();
}

void CMainDlg::openHistory()
{
    CHistoryDlg historyDialog(engine.profileSource(), this,
                              [this](const std::string& profile) { return quotas->tooltipLines(profile); });
    if (const std::optional<int> unit = memory.historySizeUnit())
        historyDialog.setSizeUnit(*unit);
    historyDialog.setColours(settings.downloadColour.load(), settings.uploadColour.load());
    historyDialog.setDayHours(usageDayHours(std::filesystem::absolute(options.profileDirectory).parent_path() /
                                            kUsageDatabaseName));
    historyDialog.exec();
    if (historyDialog.sizeUnit() != memory.historySizeUnit()) {
        memory.setHistorySizeUnit(historyDialog.sizeUnit());
        storeSettings();
    }
}

void CMainDlg::openApplications()
{
    CApplicationsDlg::Setup setup{std::filesystem::absolute(options.profileDirectory).parent_path() / kUsageDatabaseName,
                                  profiles->selectedName().value_or(std::string()),
                                  engine.countingChoice().kind == CountingKind::Kernel, options.dayClock};
    setup.liveRates = [this](const std::string& profile) {
        LiveRates rates;
        for (const ApplicationRate& rate : engine.applicationRates(profile))
            rates[rate.name] = {rate.currentDown, rate.currentUp};
        return rates;
    };
    setup.rateDivisor = settings.unitDivisor.load();
    setup.totalsOf = [this](int tab, const std::string& profile, const LocalDate& first, const LocalDate& last) {
        return tab == 0 ? engine.applicationTotals(profile, first, last) : engine.interfaceTotals(profile, first, last);
    };
    CApplicationsDlg applications(engine.profileSource(), std::move(setup), this);
    applications.setIconOf(desktopApplicationIcons());
    applications.exec();
}

void CMainDlg::openOptions()
{
    const std::uint32_t oldDivisor = settings.unitDivisor.load();
    const std::uint32_t oldLength = settings.historyLength.load();
    {
        // quotas.json lies next to profiles/; the quotas are read again after OK.
        OptionsDlg optionsDialog(settings, engine.editor(), this,
                                 std::filesystem::absolute(options.profileDirectory).parent_path());
        if (optionsDialog.exec() == QDialog::Accepted && optionsDialog.quotasSaved())
            quotas->reload();
    }
    applyDisplaySettings(oldDivisor, oldLength);
    if (!options.keepHoursGiven)
        engine.setKeepHoursDays(settings.keepHoursDays.load());
}
