#include "app/main_dlg.h"

#include "widgets/dialog_builder.h"
#include "res/main_layouts.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>

CMainDlg::CMainDlg(MainDlgOptions mainOptions, CaptureSocket captureSocket, QWidget* parent)
    : QDialog(parent), options(std::move(mainOptions)),
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
    const StoredSettings stored = restoreSettings();

    engine.start(monitorOptions(), std::move(captureSocket));
    fillProfileSelector();
    tray = new TrayController(this, {engine, *options.dayClock, saveNotices, panel->history()},
                              {[this] { openHistory(); }, [this] { endRun(); }});
    connectEvents();
    connectKeyboard();
    selectProfileNamed(stored.selectedProfile);
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

    profileSelector = control<QComboBox>(client, kProfileSelectorId);
    panel = new ReadoutPanel(client);
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
    };
    for (const auto& [id, handler] : commands) {
        connect(menuAction(menuBar, id), &QAction::triggered, this, handler);
    }
    connect(profileSelector, &QComboBox::currentIndexChanged, this, &CMainDlg::selectProfile);
}

// F10 opens the menu bar's first menu, as on other desktop programs; Alt with a letter is a
// menu mnemonic or nothing, never text typed into the profile selector.
void CMainDlg::connectKeyboard()
{
    auto* openMenuBar = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(openMenuBar, &QShortcut::activated, this, [this] {
        if (!menuBar->actions().isEmpty())
            menuBar->setActiveAction(menuBar->actions().first());
    });
    profileSelector->installEventFilter(this);
    if (profileSelector->lineEdit() != nullptr)
        profileSelector->lineEdit()->installEventFilter(this);
}

void CMainDlg::fillProfileSelector()
{
    const std::vector<std::string> names = engine.profileNames();
    const QSignalBlocker blocker(profileSelector);
    profileSelector->clear();
    // Each entry keeps the name's own bytes, which a display text need not reproduce.
    for (const std::string& name : names)
        profileSelector->addItem(QString::fromStdString(name), QByteArray::fromStdString(name));
    profileSelector->setCurrentIndex(names.empty() ? -1 : 0);
}

// The entry of that name, else "Default", else the first, becomes the counted profile.
void CMainDlg::selectProfileNamed(const std::optional<std::string>& name)
{
    std::vector<std::string> names;
    for (int i = 0; i < profileSelector->count(); ++i)
        names.push_back(profileSelector->itemData(i).toByteArray().toStdString());
    const int index = chooseProfileIndex(names, name);
    {
        const QSignalBlocker blocker(profileSelector);
        profileSelector->setCurrentIndex(index);
    }
    engine.selectFirstProfile();
    selectProfile(index);
}

std::optional<std::string> CMainDlg::selectedProfileName() const
{
    const int index = profileSelector->currentIndex();
    if (index < 0)
        return std::nullopt;
    return profileSelector->itemData(index).toByteArray().toStdString();
}

// Names are compared whole, however long: the first profile of that exact name is counted.
void CMainDlg::selectProfile(int index)
{
    if (index < 0)
        return;
    engine.selectProfile(profileSelector->itemData(index).toByteArray().toStdString());
}

void CMainDlg::showReadout(ReadoutKind kind, float download, float upload)
{
    const std::uint32_t divisor = settings.unitDivisor.load();
    const auto shown = panel->show(kind, download, upload, divisor);
    if (kind == ReadoutKind::Current)
        tray->showRates(shown, divisor, toDisplayUnit(download, divisor), toDisplayUnit(upload, divisor));
}

void CMainDlg::applyDisplaySettings(std::uint32_t oldDivisor, std::uint32_t oldLength)
{
    const std::uint32_t divisor = settings.unitDivisor.load();
    const std::uint32_t length = settings.historyLength.load();
    unitChosen = true;
    panel->setUnitLabels(QString::fromStdString(unitLabel(divisor)));
    panel->changeGraph(oldDivisor, divisor, oldLength, length);
    const std::optional<std::string> counted = selectedProfileName();
    fillProfileSelector();
    selectProfileNamed(counted);
    storeSettings();
}

void CMainDlg::keyPressEvent(QKeyEvent* event)
{
    // Return and Escape would end a dialog; this one ends only by Exit or closing.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CMainDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // Queued: the window system finishes its own minimise handling first, and a restore in
    // between cancels the hide.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && !tray->isInTray())
        QMetaObject::invokeMethod(this, [this] {
            if (isMinimized())
                hideToTray();
        }, Qt::QueuedConnection);
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->modifiers() & Qt::AltModifier) && !key->text().isEmpty())
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

// A quit request: every event loop ends, a modal dialog's included, and the window's run
// returns to CMainApp, which destroys the window.
void CMainDlg::endRun()
{
    QCoreApplication::exit(0);
}
