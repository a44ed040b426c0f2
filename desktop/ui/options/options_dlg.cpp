#include "desktop/ui/options/options_dlg.h"

#include "desktop/widgets/dialog_builder.h"
#include "desktop/widgets/layouts/options_layouts.h"
#include "desktop/ui/options/options_general.h"
#include "desktop/ui/options/options_profile.h"
#include "desktop/ui/options/options_quotas.h"

#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>

OptionsDlg::OptionsDlg(DisplaySettings& displaySettings, ProfileEditor profiles, QWidget* parent,
                       std::filesystem::path dataDirectory)
    : QDialog(parent), settings(displaySettings)
{
    buildDialog(this, optionsLayout());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    tabs = control<QTabWidget>(this, kOptionsTabsId);
    general = new OptionsGeneral(this);
    profilePage = new OptionsProfile(profiles, this);
    tabs->addTab(general, "General");
    tabs->addTab(profilePage, "Profiles");
    if (!dataDirectory.empty()) {
        profileNames.emplace(profiles);
        quotaPage = new OptionsQuotas(std::move(dataDirectory), this);
        tabs->addTab(quotaPage, "Quotas");
    }

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
    if (quotaPage)
        quotaPage->initialise(profileNames->names());
    tabs->setCurrentIndex(0);
    general->selectUnitDivisor(settings.unitDivisor.load());
    general->setHistoryLength(settings.historyLength.load());
    general->setColours(settings.downloadColour.load(), settings.uploadColour.load());
    general->setKeepHoursDays(settings.keepHoursDays.load());
}

void OptionsDlg::confirm()
{
    if (quotaPage) {
        // The quotas first: a refusal keeps the dialog open on them, nothing else applied.
        if (const std::optional<std::string> problem = quotaPage->save()) {
            tabs->setCurrentWidget(quotaPage);
            QMessageBox box(QMessageBox::NoIcon, "Error", QString::fromStdString(*problem), QMessageBox::Ok, this);
            box.exec();
            return;
        }
        savedQuotas = true;
    }
    if (const std::optional<std::uint32_t> divisor = general->selectedUnitDivisor())
        settings.unitDivisor.store(*divisor);
    const std::uint32_t length = general->historyLength();
    if (length <= 60)
        settings.historyLength.store(length);
    settings.downloadColour.store(general->downloadColour());
    settings.uploadColour.store(general->uploadColour());
    if (const std::optional<int> days = general->keepHoursDays())
        settings.keepHoursDays.store(*days);
    accept();
}
