#pragma once
// The Options dialog: a tab control with the General and the Profiles page. OK writes the
// General page's settings; profile changes are live as soon as they are made.

#include "widgets/display_settings.h"
#include "profile/profile_editor.h"

#include <QDialog>

class OptionsGeneral;
class OptionsProfile;
class QTabWidget;

class OptionsDlg : public QDialog {
    Q_OBJECT
public:
    OptionsDlg(DisplaySettings& settings, ProfileEditor profiles, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void initialise();
    void confirm();

    DisplaySettings& settings;
    OptionsGeneral* general;
    OptionsProfile* profilePage;
    QTabWidget* tabs;
};
