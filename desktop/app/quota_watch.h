#pragma once
// The window's side of the engine's quota check (monitor/quota_check.h): each check's
// statuses kept for the tray tooltip and History, its lines on stderr, and each crossing due
// told once as a desktop notification, through the freedesktop notification service on the
// session bus, or the tray icon's own message where there is no such service.

#include "desktop/view/quota_texts.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CMonitorEngine;
class DayClock;

class QuotaWatch : public QObject {
public:
    // Starts the engine's quota check on `dataDirectory` (the engine has started); the first
    // check is taken before the constructor returns. `trayMessage` shows a notification on the
    // tray icon: the fallback without a service.
    QuotaWatch(QObject* parent, CMonitorEngine& engine, const DayClock& clock, const std::filesystem::path& dataDirectory,
               std::function<void(const QString& summary, const QString& body)> trayMessage);

    // Has the engine read quotas.json again (after the Options dialog wrote it) and check at once.
    void reload();
    // The last statuses, in the file's order.
    const std::vector<QuotaStatus>& statuses() const { return last; }
    // The tooltip's lines for a profile's quotas: "Quota: 45.0 of 50.0 GB, 90%, month from 15 Dec".
    std::vector<std::string> tooltipLines(const std::string& profile) const;
    // The days of the profile's first month quota's span still to come, today included.
    std::optional<int> daysLeft(const std::string& profile) const;

private:
    void take(const QuotaMonitor::Update& check); // on the GUI thread
    void tell(const QuotaNotification& notification);

    CMonitorEngine& engine;
    std::function<void(const QString&, const QString&)> trayMessage;
    std::vector<QuotaStatus> last;
};

// Sends a notification to org.freedesktop.Notifications on the session bus; false when there
// is no such service (or it failed to answer).
bool sendDesktopNotification(const QString& summary, const QString& body);
