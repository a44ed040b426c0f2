#include "desktop/ui/options/options_quotas.h"

#include "desktop/widgets/layouts/options_layouts.h"
#include "desktop/widgets/dialog_builder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <cmath>

namespace {

constexpr double kUnits[] = {1, 1e3, 1e6, 1e9}; // B, KB, MB, GB

// A number typed into a field; one that is not a number reads as -1, which every check refuses.
long long wholeNumber(const QLineEdit* edit)
{
    bool ok = false;
    const long long value = edit->text().trimmed().toLongLong(&ok);
    return ok ? value : -1;
}

} // namespace

OptionsQuotas::OptionsQuotas(std::filesystem::path directory, QWidget* parent)
    : QWidget(parent), dataDirectory(std::move(directory))
{
    buildDialog(this, optionsQuotasLayout());
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    profileBox = control<QComboBox>(this, kQuotaProfileBoxId);
    periodBox = control<QComboBox>(this, kQuotaPeriodBoxId);
    quotaSwitch = control<QCheckBox>(this, kQuotaSwitchId);
    startDayEdit = control<QLineEdit>(this, kQuotaStartDayEditId);
    directionBox = control<QComboBox>(this, kQuotaDirectionBoxId);
    limitEdit = control<QLineEdit>(this, kQuotaLimitEditId);
    unitBox = control<QComboBox>(this, kQuotaUnitBoxId);
    warnEdit = control<QLineEdit>(this, kQuotaWarnEditId);
    notice = control<QLabel>(this, kQuotaNoticeId);
    notice->setWordWrap(true);
    notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    periodBox->addItems({"Day", "Month"});
    directionBox->addItems({"Down", "Up", "Total"});
    unitBox->addItems({"B", "KB", "MB", "GB"});

    connect(profileBox, &QComboBox::currentIndexChanged, this, [this] {
        storeFields();
        showPeriodOf(profileBox->currentText().toStdString());
        showFields();
    });
    connect(periodBox, &QComboBox::currentIndexChanged, this, [this] {
        storeFields();
        showFields();
    });
    connect(quotaSwitch, &QCheckBox::toggled, this, &OptionsQuotas::enableFields);
    connect(periodBox, &QComboBox::currentIndexChanged, this, &OptionsQuotas::enableFields);
}

void OptionsQuotas::initialise(const std::vector<std::string>& profiles)
{
    const QuotaFileRead read = readQuotaFile(dataDirectory);
    quotas = read.quotas;
    changed = false;
    notice->setText(QString::fromStdString(read.problem));
    const QSignalBlocker blockProfiles(profileBox);
    const QSignalBlocker blockPeriod(periodBox);
    profileBox->clear();
    for (const std::string& name : profiles)
        profileBox->addItem(QString::fromStdString(name));
    profileBox->setCurrentIndex(profiles.empty() ? -1 : 0);
    showPeriodOf(profiles.empty() ? std::string() : profiles.front());
    showFields();
}

// The period box on the profile's quota: its month quota, else its day quota, else Month.
void OptionsQuotas::showPeriodOf(const std::string& profile)
{
    const bool dayOnly = find(profile, QuotaPeriod::Month) == nullptr && find(profile, QuotaPeriod::Day) != nullptr;
    const QSignalBlocker block(periodBox);
    periodBox->setCurrentIndex(dayOnly ? 0 : 1);
}

Quota* OptionsQuotas::find(const std::string& profile, QuotaPeriod period)
{
    for (Quota& quota : quotas)
        if (quota.profile == profile && quota.application.empty() && quota.period == period) // an application's stays as it is
            return &quota;
    return nullptr;
}

// The form into the list, for the profile and period it shows.
void OptionsQuotas::storeFields()
{
    if (shownProfile.empty())
        return;
    Quota* existing = find(shownProfile, shownPeriod);
    if (!quotaSwitch->isChecked()) {
        if (existing) {
            std::erase_if(quotas, [&](const Quota& q) { return &q == existing; });
            changed = true;
        }
        return;
    }
    Quota quota;
    quota.profile = shownProfile;
    quota.period = shownPeriod;
    quota.startDay = shownPeriod == QuotaPeriod::Month ? int(std::clamp<long long>(wholeNumber(startDayEdit), -1, 1000)) : 1;
    quota.direction = QuotaDirection(std::max(0, directionBox->currentIndex()));
    bool ok = false;
    const double limit = limitEdit->text().trimmed().toDouble(&ok) * kUnits[std::max(0, unitBox->currentIndex())];
    // Out of range reads as 0 or one past the largest: the check names the limit either way.
    quota.limitBytes = !ok || !(limit >= 1) ? 0
                       : limit > double(kMaxLimitBytes) ? kMaxLimitBytes + 1
                                                        : std::uint64_t(std::llround(limit));
    quota.warnPercent = int(std::clamp<long long>(wholeNumber(warnEdit), -1, 1000));
    if (existing) {
        if (!(*existing == quota))
            changed = true;
        *existing = quota;
    } else {
        quotas.push_back(quota);
        changed = true;
    }
}

// The list's quota for the chosen profile and period into the form (defaults without one).
void OptionsQuotas::showFields()
{
    shownProfile = profileBox->currentText().toStdString();
    shownPeriod = periodBox->currentIndex() == 0 ? QuotaPeriod::Day : QuotaPeriod::Month;
    const Quota* quota = find(shownProfile, shownPeriod);
    const QSignalBlocker block(quotaSwitch);
    quotaSwitch->setChecked(quota != nullptr);
    const Quota shown = quota ? *quota : Quota{};
    startDayEdit->setText(QString::number(shown.startDay));
    directionBox->setCurrentIndex(int(shown.direction));
    int unit = 3;
    while (unit > 0 && shown.limitBytes != 0 && shown.limitBytes < kUnits[unit])
        --unit;
    unitBox->setCurrentIndex(unit);
    limitEdit->setText(quota ? QString::number(double(shown.limitBytes) / kUnits[unit], 'g', 15) : QString());
    warnEdit->setText(QString::number(shown.warnPercent));
    enableFields();
}

void OptionsQuotas::enableFields()
{
    const bool on = quotaSwitch->isChecked() && !shownProfile.empty();
    quotaSwitch->setEnabled(!shownProfile.empty());
    startDayEdit->setEnabled(on && periodBox->currentIndex() == 1);
    for (QWidget* field : {static_cast<QWidget*>(directionBox), static_cast<QWidget*>(limitEdit),
                           static_cast<QWidget*>(unitBox), static_cast<QWidget*>(warnEdit)})
        field->setEnabled(on);
}

std::optional<std::string> OptionsQuotas::save()
{
    storeFields();
    if (!changed)
        return std::nullopt; // nothing edited: the file stays as it is, read or not
    std::string problem = quotaListProblem(quotas);
    if (problem.empty() && writeQuotaFile(dataDirectory, quotas, problem)) {
        changed = false;
        return std::nullopt;
    }
    return problem;
}
