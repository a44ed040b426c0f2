#pragma once
// The Profiles page of the Options dialog: choose a profile and edit it in place (bound address,
// IP and port filters, the LAN switch), add and remove profiles. The rules live in
// ProfileEditor; this page shows their results and reports refusals.

#include "profile/profile_editor.h"

#include <QWidget>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

class OptionsProfile : public QWidget {
    Q_OBJECT
public:
    // Edits through `editor` (the engine gives one bound to its list).
    explicit OptionsProfile(ProfileEditor editor, QWidget* parent = nullptr);

    // Fills the address and profile boxes afresh and shows the first profile.
    void initialise();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();
    void showFilters(const ProfilePageView& page);
    void showFilters(const std::string& name);
    void refillProfiles();
    void setAddress();
    void setTypedAddress();
    void addIpEntry();
    void removeIpEntry();
    void addPortEntry();
    void removePortEntry();
    void addProfile();
    void removeProfile();
    void switchLan(bool checked);

    std::optional<std::string> selectedProfile() const;
    void selectProfile(int index);
    void selectAddress(const std::string& ip);
    void showAddressNotice(const std::string& name, const std::string& ip);
    void showError(const char* text);

    ProfileEditor editor;
    std::vector<IpAddress> machineAddresses; // every address of the machine, when last filled

    QComboBox* profileBox;
    QComboBox* addressBox;
    QCheckBox* lanSwitch;
    QLabel* addressNotice;
    QLineEdit* ipEntryEdit;
    QListWidget* ipFilterList;
    QLineEdit* portEntryEdit;
    QListWidget* portFilterList;
};
