// The main window's workers and profile files: loading, starting, saving and stopping.
#include "app/main_dlg.h"

#include "capture/address_watcher.h"
#include "capture/net_socket.h"
#include "capture/packet_capture.h"
#include "profile/profile_store.h"

#include <QSystemTrayIcon>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <system_error>

struct CMainDlg::Engine {
    CNetSocket socket; // local address lookups for the Default profile
    CaptureSocket captureSocket; // opened at start; the capture takes it over
    std::unique_ptr<CPacketCapture> capture;
    std::unique_ptr<CAddressWatcher> watcher; // points to the capture: destroyed first
};

void CMainDlg::EngineDeleter::operator()(Engine* doomed) const
{
    delete doomed;
}

CMainDlg::~CMainDlg()
{
    shutdown();
}

void CMainDlg::loadProfiles()
{
    engine.reset(new Engine);
    const std::string addresses = engine->socket.localAddresses();
    const std::string firstAddress = addresses.substr(0, addresses.find(' '));
    ProfileList loaded;
    loadAllProfiles(loaded, options.profileDirectory, firstAddress, LoadMode::Owner);
    std::unique_lock lock(profiles.guard);
    profiles.profiles = std::move(loaded);
    profiles.prepareYear(DayClock::system().today().year);
}

void CMainDlg::adoptCaptureSocket(CaptureSocket captureSocket)
{
    engine->captureSocket = std::move(captureSocket);
}

void CMainDlg::startWorkers()
{
    meter->start("velmora-meter");
    CTrafficMeter* target = meter.get();
    engine->capture = std::make_unique<CPacketCapture>(
        [target](const std::uint8_t* data, std::int32_t length, std::size_t captured) {
            target->dispatchPacket(data, length, captured);
        });
    // A refused socket leaves the capture off and the rates at 0; main has already said on
    // stderr how to grant the capability.
    engine->capture->open(std::move(engine->captureSocket));
    engine->watcher = std::make_unique<CAddressWatcher>(engine->capture.get());
    engine->watcher->start("velmora-watch");
}

// The capture first (it stops at once), then the meter, then the watcher.
void CMainDlg::stopWorkers()
{
    if (engine->capture != nullptr)
        engine->capture->close();
    meter->stopAndWait();
    engine->watcher.reset();
}

bool CMainDlg::saveProfiles()
{
    ProfileList copy;
    std::vector<std::string> removed;
    {
        std::unique_lock lock(profiles.guard);
        copy = profiles.profiles;
        removed = profiles.removedNames;
    }
    SaveFailures failures;
    const bool saved = saveAllProfiles(copy, removed, options.profileDirectory, &failures);
    saveNotices.report(saved, failures, shutDown ? nullptr : this);
    if (saved && !removed.empty()) {
        std::unique_lock lock(profiles.guard);
        for (const std::string& name : removed) {
            auto& names = profiles.removedNames;
            if (auto it = std::find(names.begin(), names.end(), name); it != names.end())
                names.erase(it);
        }
    }
    return saved;
}

void CMainDlg::shutdown()
{
    if (shutDown)
        return;
    shutDown = true;
    saveTimer->stop();
    storeSettings();
    // Captures first, so everything they counted is in the totals the save copies.
    stopWorkers();
    const auto retryPause = std::chrono::milliseconds(500);
    if (!retrySave([this] { return saveProfiles(); }, options.exitSavePatience, retryPause)) {
        lostAtExit = true;
        std::fprintf(stderr,
                     "velmora: gave up saving at exit (%s); the traffic counted since the last "
                     "good save is lost\n",
                     saveNotices.episode().problem().c_str());
    }
    if (tray != nullptr)
        tray->hide();
}

void CMainDlg::endSession()
{
    shutdown();
    endRun();
}
