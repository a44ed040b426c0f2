#include "desktop/view/quota_texts.h"

#include "profile/profile_writer.h"
#include "quota/quota_period.h"

std::string quotaTooltipText(const QuotaStatus& status)
{
    std::string text = "Quota: " + quotaAmountText(status.used, status.quota.limitBytes) + ", " +
                       std::to_string(shownPercent(status)) + "%, ";
    if (status.quota.period == QuotaPeriod::Day)
        return text + "today";
    return text + "month from " + shortDate(status.span.start);
}

QuotaNotification quotaNotification(const QuotaStatus& status, QuotaLevel level)
{
    const std::string name = storableText(status.quota.profile);
    return {(level == QuotaLevel::Limit ? "Quota used up: " : "Quota warning: ") + name,
            quotaLogLine(status).substr(std::string_view("quota: ").size())};
}
