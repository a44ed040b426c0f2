#include "app/main_dlg.h"

#include "widgets/dialog_builder.h"
#include "app/readout_format.h"
#include "res/main_layouts.h"
#include "res/resource_ids.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <mutex>

namespace {

// Value controls of each readout kind (download, upload), in ReadoutKind order.
constexpr int kValueIds[4][2] = {{1001, 1002}, {1003, 1004}, {1005, 1006}, {1011, 1012}};
// The unit label beside each value control, in the same order.
constexpr int kValueUnitIds[4][2] = {{1007, 1008}, {1031, 1032}, {1009, 1010}, {1033, 1034}};
// The eight unit labels, in the order they are rewritten.
constexpr int kUnitLabelIds[8] = {1007, 1008, 1031, 1032, 1009, 1010, 1033, 1034};

// Whether the text shows whole in the label: the value labels are right-aligned, so a longer
// text would lose its leading digits.
bool fitsIn(const QLabel* label, const std::string& text)
{
    return label->fontMetrics().horizontalAdvance(QString::fromStdString(text)) <= label->contentsRect().width();
}

} // namespace

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
    createTray();
    connectEvents();
    connectKeyboard();
    selectProfileNamed(stored.selectedProfile);
}

void CMainDlg::buildWindow()
{
    client = new QWidget(this);
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
    graphFrame = control(client, kGraphFrameId);
    graphFrame->installEventFilter(this);
    for (int kind = 0; kind < 4; ++kind)
        for (int direction = 0; direction < 2; ++direction) {
            readoutValues[kind][direction] = control<QLabel>(client, kValueIds[kind][direction]);
            readoutUnits[kind][direction] = control<QLabel>(client, kValueUnitIds[kind][direction]);
        }
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
    const float down = toDisplayUnit(download, divisor);
    const float up = toDisplayUnit(upload, divisor);
    setReadoutTexts(kind, download, upload);
    if (kind != ReadoutKind::Current)
        return;
    trayBars.download = down;
    trayBars.upload = up;
    // The whole frame, not only the band below its top rows, so the scale label follows too.
    if (history.append(down, up))
        graphFrame->update();
    updateTrayStatus();
}

// A value whose text does not fit its control is shown in the next larger unit that fits, with
// that unit's label beside it; the label returns to the chosen unit's text once it fits again.
void CMainDlg::setReadoutTexts(ReadoutKind kind, float downloadBytes, float uploadBytes)
{
    const auto index = std::size_t(kind);
    if (index >= 4)
        return;
    const std::uint32_t divisor = settings.unitDivisor.load();
    const float bytes[2] = {downloadBytes, uploadBytes};
    ReadoutText shown[2];
    for (int direction = 0; direction < 2; ++direction) {
        QLabel* value = readoutValues[index][direction];
        shown[direction] = fitReadout(bytes[direction], divisor,
                                      [value](const std::string& text) { return fitsIn(value, text); });
        value->setText(QString::fromStdString(shown[direction].text));
        readoutUnits[index][direction]->setText(shown[direction].unitDivisor == divisor
                                                    ? chosenUnitText
                                                    : QString::fromStdString(unitLabel(shown[direction].unitDivisor)));
    }
    if (kind == ReadoutKind::Current) {
        trayStatus.download = shown[0];
        trayStatus.upload = shown[1];
        trayStatus.chosenDivisor = divisor;
    }
}

void CMainDlg::setUnitLabels(const QString& text)
{
    chosenUnitText = text;
    for (int id : kUnitLabelIds)
        control<QLabel>(client, id)->setText(text);
}

void CMainDlg::applyDisplaySettings(std::uint32_t oldDivisor, std::uint32_t oldLength)
{
    const std::uint32_t divisor = settings.unitDivisor.load();
    const std::uint32_t length = settings.historyLength.load();
    unitChosen = true;
    setUnitLabels(QString::fromStdString(unitLabel(divisor)));
    if (length != oldLength)
        history.resize(length);
    if (divisor != oldDivisor)
        history.rescale(oldDivisor, divisor);
    const std::optional<std::string> counted = selectedProfileName();
    fillProfileSelector();
    selectProfileNamed(counted);
    graphFrame->update();
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
    if (event->type() == QEvent::WindowStateChange && isMinimized() && !inTray)
        QMetaObject::invokeMethod(this, [this] {
            if (isMinimized())
                hideToTray();
        }, Qt::QueuedConnection);
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == graphFrame && event->type() == QEvent::Paint) {
        painter.setDevicePixelRatio(graphFrame->devicePixelRatioF());
        painter.render(history);
        painter.copyTo(graphFrame);
        return true;
    }
    if (event->type() == QEvent::KeyPress && watched != graphFrame) {
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
