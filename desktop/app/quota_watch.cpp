#include "desktop/app/quota_watch.h"

#include "base/program_log.h"
#include "monitor/monitor_engine.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QVariantMap>

namespace {

void logLines(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        logLine(line, LogBytes::Escaped);
}

} // namespace

bool sendDesktopNotification(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusInterface notifications(QStringLiteral("org.freedesktop.Notifications"),
                                 QStringLiteral("/org/freedesktop/Notifications"),
                                 QStringLiteral("org.freedesktop.Notifications"), bus);
    if (!notifications.isValid())
        return false;
    notifications.setTimeout(3000); // a hung service must not hold the window for long
    const QDBusReply<uint> reply =
        notifications.call(QStringLiteral("Notify"), QStringLiteral("Velmora"), uint(0), QStringLiteral("velmora"),
                           summary, body, QStringList(), QVariantMap(), int(-1));
    return reply.isValid();
}

QuotaWatch::QuotaWatch(QObject* parent, CMonitorEngine& watchedEngine, const DayClock& clock,
                       const std::filesystem::path& dataDirectory,
                       std::function<void(const QString&, const QString&)> trayMessage)
    : QObject(parent), engine(watchedEngine), trayMessage(std::move(trayMessage))
{
    // Checks on the engine's quota thread arrive queued; those made on this thread (the first,
    // a reload, the last at stop) are taken at once.
    engine.watchQuotas({dataDirectory, std::chrono::seconds(5), &clock}, [this](const QuotaMonitor::Update& check) {
        QMetaObject::invokeMethod(this, [this, check] { take(check); }, Qt::AutoConnection);
    });
}

void QuotaWatch::reload()
{
    engine.reloadQuotas();
}

void QuotaWatch::take(const QuotaMonitor::Update& check)
{
    logLines(check.lines);
    last = check.statuses;
    for (const QuotaStatus& status : last)
        if (status.due)
            tell(quotaNotification(status, *status.due));
}

void QuotaWatch::tell(const QuotaNotification& notification)
{
    const QString summary = QString::fromStdString(notification.summary);
    const QString body = QString::fromStdString(notification.body);
    if (!sendDesktopNotification(summary, body) && trayMessage)
        trayMessage(summary, body);
}

std::vector<std::string> QuotaWatch::tooltipLines(const std::string& profile) const
{
    std::vector<std::string> lines;
    for (const QuotaStatus& status : last)
        if (status.profileFound && status.quota.profile == profile)
            lines.push_back(quotaTooltipText(status));
    return lines;
}

std::optional<int> QuotaWatch::daysLeft(const std::string& profile) const
{
    for (const QuotaStatus& status : last)
        if (status.profileFound && status.quota.profile == profile && status.quota.application.empty() &&
            status.quota.period == QuotaPeriod::Month)
            return status.span.days - status.span.elapsedDays + 1;
    return std::nullopt;
}
