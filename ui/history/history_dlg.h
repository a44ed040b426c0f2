#pragma once
// The Activity History window: day totals of one profile for one month, in a chosen size unit.

#include "profile/profile_list.h"

#include <QDialog>
#include <optional>
#include <string>

class QComboBox;
class QTreeWidget;

class CHistoryDlg : public QDialog {
    Q_OBJECT
public:
    explicit CHistoryDlg(SharedProfiles& profiles, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void initialise();
    void refillYears();
    void refillMonths();
    void fillTable();

    void profileChanged();
    void yearChanged();

    // A copy of the named profile taken under the guard: capture goes on adding to the live one.
    std::optional<CProfile> copyProfile(const std::string& name) const;
    static std::string selectedText(const QComboBox* box);

    SharedProfiles& profiles;
    std::optional<std::string> currentProfile; // name of the profile the year and month boxes show
    QComboBox* profileBox;
    QComboBox* sizeBox;
    QComboBox* monthBox;
    QComboBox* yearBox;
    QTreeWidget* table;
};
