#include "desktop/view/quota_texts.h"

#include "profile/profile_writer.h"
#include "quota/quota_period.h"

std::string quotaTooltipText(const QuotaStatus& status)
{
    std::string text = (status.quota.application.empty() ? std::string("Quota: ")
                                                         : "Quota of " + storableText(status.quota.application) + ": ") +
                       quotaAmountText(status.used, status.quota.limitBytes) + ", " +
                       std::to_string(shownPercent(status)) + "%, ";
    if (status.quota.period == QuotaPeriod::Day)
        return text + "today";
    return text + "month from " + shortDate(status.span.start);
}

QuotaNotification quotaNotification(const QuotaStatus& status, QuotaLevel level)
{
    const std::string name = quotaSubject(status.quota);
    return {(level == QuotaLevel::Limit ? "Quota used up: " : "Quota warning: ") + name,
            quotaLogLine(status).substr(std::string_view("quota: ").size())};
}
