#include "desktop/app/main_dlg.h"

#include "desktop/app/window_keys.h"
#include "base/program_log.h"
#include "desktop/widgets/dialog_builder.h"
#include "desktop/widgets/layouts/main_layouts.h"
#include "desktop/widgets/layouts/resource_ids.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QCoreApplication>
#include <QMenuBar>
#include <QVBoxLayout>

CMainDlg::CMainDlg(MainDlgOptions mainOptions, CountingSource counting, QWidget* parent)
    : QDialog(parent), options(std::move(mainOptions)), memory(options.settingsFile),
      // The engine's threads only post to the window; they never wait for this thread, so the
      // window can stop and join them at any time. Queued calls die with the window.
      engine(
          [this](ReadoutKind kind, float download, float upload) {
              QMetaObject::invokeMethod(
                  this, [this, kind, download, upload] { showReadout(kind, download, upload); },
                  Qt::QueuedConnection);
          },
          [this](const SaveOutcome& outcome) {
              QMetaObject::invokeMethod(this, [this, outcome] { reportSave(outcome); }, Qt::AutoConnection);
          })
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(applicationIcon());
    buildWindow();
    const StoredSettings stored = memory.restore(*this, settings, *panel);
    options.keepHoursDays = options.keepHoursGiven.value_or(settings.keepHoursDays.load());

    engine.start(options, std::move(counting));
    profiles->refill();
    tray = new TrayController(this,
                              {engine, *options.dayClock, saveNotices, panel->history(), settings,
                               [this](const std::string& profile) {
                                   return quotas ? quotas->tooltipLines(profile) : std::vector<std::string>{};
                               },
                               [this](const std::string& profile) {
                                   return quotas ? quotas->daysLeft(profile) : std::nullopt;
                               }},
                              {[this] { openHistory(); }, [this] { endRun(); }});
    // quotas.json lies next to profiles/.
    quotas = new QuotaWatch(this, engine, *options.dayClock,
                            std::filesystem::absolute(options.profileDirectory).parent_path(),
                            [this](const QString& summary, const QString& body) { tray->showMessage(summary, body); });
    connectEvents();
    profiles->selectNamed(stored.selectedProfile);
    showCountingNotices();
}

CMainDlg::~CMainDlg()
{
    shutdown();
}

// On the GUI thread, after every save the engine made: periodic ones arrive queued.
void CMainDlg::reportSave(const SaveOutcome& outcome)
{
    saveNotices.report(outcome.saved, outcome.failures, shutDown ? nullptr : this);
}

void CMainDlg::shutdown()
{
    if (shutDown)
        return;
    shutDown = true;
    storeSettings();
    if (!engine.stop().saved) {
        lostAtExit = true;
        logLine("gave up saving at exit (" + saveNotices.episode().problem() +
                "); the traffic counted since the last good save is lost");
    }
    if (tray != nullptr)
        tray->hideIcon();
}

void CMainDlg::saveForSession()
{
    storeSettings();
    saveProfiles();
}

void CMainDlg::buildWindow()
{
    auto* client = new QWidget(this);
    buildDialog(client, mainDialogLayout());
    setWindowTitle(client->windowTitle());
    setFont(client->font());
    menuBar = buildMenuBar(mainMenu(), this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setMenuBar(menuBar);
    layout->addWidget(client);

    auto* profileSelector = control<QComboBox>(client, kProfileSelectorId);
    profiles = new ProfileSelector(profileSelector, engine); // filled once the engine has started
    panel = new ReadoutPanel(client);
    countingNotice = control<QLabel>(client, kCountingNoticeId);
    countingNotice->setWordWrap(false); // a line each, cut to the width
    countingNotice->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    new WindowKeys(this, menuBar, profileSelector);
}

// The window's event table: every menu command and control notification.
void CMainDlg::connectEvents()
{
    const std::pair<int, void (CMainDlg::*)()> commands[] = {
        {kCmdExit, &CMainDlg::endRun},
        {kCmdOptionsGeneral, &CMainDlg::openOptions},
        {kCmdAbout, &CMainDlg::showAbout},
        {kCmdManual, &CMainDlg::openHelp},
        {kCmdBandwidthActivity, &CMainDlg::openHistory},
        {kCmdApplications, &CMainDlg::openApplications},
    };
    for (const auto& [id, handler] : commands) {
        connect(menuAction(menuBar, id), &QAction::triggered, this, handler);
    }
    // After the selector's own handler, which has the engine count the profile chosen.
    connect(control<QComboBox>(this, kProfileSelectorId), &QComboBox::currentIndexChanged, this,
            &CMainDlg::showCountingNotices);
}

void CMainDlg::storeSettings()
{
    memory.store(*this, settings, profiles->selectedName());
}

void CMainDlg::showReadout(ReadoutKind kind, float download, float upload)
{
    const std::uint32_t divisor = settings.unitDivisor.load();
    const auto shown = panel->show(kind, download, upload, divisor);
    if (kind == ReadoutKind::Current) {
        tray->showRates(shown, toDisplayUnit(download, divisor), toDisplayUnit(upload, divisor));
        showCountingNotices();
    }
}

// Beside the selector, the reason the profile shown counts nothing (the tray's tooltip has it
// too, but the tray has no icon while the window is open). Once a second, with the readouts.
void CMainDlg::showCountingNotices()
{
    QStringList lines, shown;
    for (const std::string& notice : engine.countingNotices()) {
        lines << QString::fromStdString(notice);
        shown << countingNotice->fontMetrics().elidedText(lines.back(), Qt::ElideRight, countingNotice->width());
    }
    const QString text = lines.join('\n');
    if (countingNotice->toolTip() == text)
        return;
    countingNotice->setToolTip(text); // whole, where a line had to be cut
    countingNotice->setText(shown.join('\n'));
}

void CMainDlg::applyDisplaySettings(std::uint32_t oldDivisor, std::uint32_t oldLength)
{
    const std::uint32_t divisor = settings.unitDivisor.load();
    const std::uint32_t length = settings.historyLength.load();
    memory.unitChosen();
    panel->setUnitLabels(QString::fromStdString(unitLabel(divisor)));
    panel->changeGraph(oldDivisor, divisor, oldLength, length);
    panel->setColours(settings.downloadColour.load(), settings.uploadColour.load());
    const std::optional<std::string> counted = profiles->selectedName();
    profiles->refill();
    profiles->selectNamed(counted);
    showCountingNotices();
    storeSettings();
}

// A quit request: every event loop ends, a modal dialog's included, and the window's run
// returns to CMainApp, which destroys the window.
void CMainDlg::endRun()
{
    QCoreApplication::exit(0);
}
