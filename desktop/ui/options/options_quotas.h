#pragma once
// The Options dialog's Quotas page: for the chosen profile and period (day or month), whether
// it has a quota, and its start day, direction, limit (with a unit, powers of 1000) and
// warning percent. The page edits a copy of quotas.json's list; save() checks it as the file's
// reader would and writes the file.

#include "quota/quota_file.h"
#include "profile/profile_editor.h"

#include <QWidget>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

class OptionsQuotas : public QWidget {
public:
    OptionsQuotas(std::filesystem::path dataDirectory, QWidget* parent = nullptr);

    // Reads quotas.json and fills the boxes with `profiles`.
    void initialise(const std::vector<std::string>& profiles);
    // Checks the list and writes quotas.json; the problem when it is refused.
    std::optional<std::string> save();

private:
    void storeFields();
    void showFields();
    void enableFields();
    void showPeriodOf(const std::string& profile);
    Quota* find(const std::string& profile, QuotaPeriod period);

    std::filesystem::path dataDirectory;
    std::vector<Quota> quotas; // as edited, in the file's order
    std::string shownProfile;
    QuotaPeriod shownPeriod = QuotaPeriod::Month;
    bool changed = false;
    QComboBox* profileBox;
    QComboBox* periodBox;
    QCheckBox* quotaSwitch;
    QLineEdit* startDayEdit;
    QComboBox* directionBox;
    QLineEdit* limitEdit;
    QComboBox* unitBox;
    QLineEdit* warnEdit;
    QLabel* notice;
};
