#include "app/quota_watch.h"

#include "base/program_log.h"
#include "monitor/monitor_engine.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QTimer>
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

QuotaWatch::QuotaWatch(QObject* parent, const CMonitorEngine& engine, const DayClock& clock,
                       std::filesystem::path dataDirectory,
                       std::function<void(const QString&, const QString&)> trayMessage,
                       std::chrono::milliseconds interval)
    : QObject(parent), engine(engine), clock(clock), monitor(std::move(dataDirectory)),
      trayMessage(std::move(trayMessage))
{
    timer = new QTimer(this);
    timer->setInterval(interval);
    connect(timer, &QTimer::timeout, this, &QuotaWatch::check);
    reload();
    timer->start();
}

void QuotaWatch::reload()
{
    logLines(monitor.reload());
    check();
}

void QuotaWatch::check()
{
    if (monitor.quotas().empty()) {
        last.clear();
        return; // no snapshot of every profile for nothing
    }
    QuotaMonitor::Update update = monitor.update(engine.profileSource().snapshot(), clock.today());
    logLines(update.lines);
    last = std::move(update.statuses);
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
