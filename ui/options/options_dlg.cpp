#include "ui/options/options_dlg.h"

#include "widgets/dialog_builder.h"
#include "res/options_layouts.h"
#include "ui/options/options_general.h"
#include "ui/options/options_profile.h"

#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>

OptionsDlg::OptionsDlg(DisplaySettings& displaySettings, ProfileEditor profiles, QWidget* parent)
    : QDialog(parent), settings(displaySettings)
{
    buildDialog(this, optionsLayout());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    tabs = control<QTabWidget>(this, kOptionsTabsId);
    general = new OptionsGeneral(this);
    profilePage = new OptionsProfile(std::move(profiles), this);
    tabs->addTab(general, "General");
    tabs->addTab(profilePage, "Profiles");

    connect(control<QPushButton>(this, kOptionsOkId), &QPushButton::clicked, this, &OptionsDlg::confirm);
}

void OptionsDlg::showEvent(QShowEvent* event)
{
    // Every opening starts from the current settings and profiles.
    if (!event->spontaneous())
        initialise();
    QDialog::showEvent(event);
}

void OptionsDlg::initialise()
{
    general->initialise();
    profilePage->initialise();
    tabs->setCurrentIndex(0);
    general->selectUnitDivisor(settings.unitDivisor.load());
    general->setHistoryLength(settings.historyLength.load());
}

void OptionsDlg::confirm()
{
    if (const std::optional<std::uint32_t> divisor = general->selectedUnitDivisor())
        settings.unitDivisor.store(*divisor);
    const std::uint32_t length = general->historyLength();
    if (length <= 60)
        settings.historyLength.store(length);
    accept();
}
