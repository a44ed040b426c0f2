#pragma once
// The Options dialog: a tab control with the General, the Profiles and, given the data
// directory, the Quotas page. OK writes the General page's settings and quotas.json (refused,
// with the problem in a message box, while the quotas are not right); profile changes are live
// as soon as they are made.

#include "desktop/widgets/display_settings.h"
#include "profile/profile_editor.h"

#include <QDialog>
#include <filesystem>
#include <optional>

class OptionsGeneral;
class OptionsProfile;
class OptionsQuotas;
class QTabWidget;

class OptionsDlg : public QDialog {
    Q_OBJECT
public:
    // Without `dataDirectory` there is no Quotas page.
    OptionsDlg(DisplaySettings& settings, ProfileEditor profiles, QWidget* parent = nullptr,
               std::filesystem::path dataDirectory = {});
    // OK wrote quotas.json.
    bool quotasSaved() const { return savedQuotas; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void initialise();
    void confirm();

    DisplaySettings& settings;
    OptionsGeneral* general;
    OptionsProfile* profilePage;
    OptionsQuotas* quotaPage = nullptr;
    std::optional<ProfileEditor> profileNames; // the Quotas page's profile list
    bool savedQuotas = false;
    QTabWidget* tabs;
};
