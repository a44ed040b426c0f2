#pragma once
// The window's quotas: quotas.json of the data directory read at the start (and again after
// the Options dialog wrote it), their use checked every few seconds on the GUI thread from a
// snapshot of the profiles. A crossing is told once as a desktop notification: through the
// freedesktop notification service on the session bus, or the tray icon's own message where
// there is no such service.

#include "quota/quota_status.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class CMonitorEngine;
class DayClock;
class QTimer;

class QuotaWatch : public QObject {
public:
    // `trayMessage` shows a notification on the tray icon: the fallback without a service.
    QuotaWatch(QObject* parent, const CMonitorEngine& engine, const DayClock& clock,
               std::filesystem::path dataDirectory,
               std::function<void(const QString& summary, const QString& body)> trayMessage,
               std::chrono::milliseconds interval = std::chrono::seconds(5));

    // Reads quotas.json again (a bad file's line goes to stderr), then checks at once.
    void reload();
    // Checks the use now; every crossing due is told.
    void check();
    // The last statuses, in the file's order.
    const std::vector<QuotaStatus>& statuses() const { return last; }
    // The tooltip's lines for a profile's quotas: "Quota: 45.0 of 50.0 GB, 90%, month from 15 Dec".
    std::vector<std::string> tooltipLines(const std::string& profile) const;

private:
    void tell(const QuotaNotification& notification);

    const CMonitorEngine& engine;
    const DayClock& clock;
    QuotaMonitor monitor;
    std::function<void(const QString&, const QString&)> trayMessage;
    std::vector<QuotaStatus> last;
    QTimer* timer = nullptr;
};

// Sends a notification to org.freedesktop.Notifications on the session bus; false when there
// is no such service (or it failed to answer).
bool sendDesktopNotification(const QString& summary, const QString& body);
