// The windows read and edit the profiles while a capture thread accounts packets into the same
// list. Run under ThreadSanitizer to check that every access goes through the profile guard.
#include "support/packet_builder.h"
#include "accounting/traffic_meter.h"
#include "dialog_test_support.h"
#include "profile/profile_store.h"
#include "desktop/widgets/layouts/history_layout.h"
#include "desktop/widgets/layouts/options_layouts.h"
#include "desktop/ui/history/history_dlg.h"
#include "desktop/ui/options/options_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <thread>

TEST(ConcurrentEditing, WindowsWorkWhileCaptureAccounts)
{
    SharedProfiles shared;
    shared.profiles.resize(2);
    shared.profiles[0] = makeDefaultProfile("192.0.2.1");
    shared.profiles[1].setName("Work");
    shared.profiles[1].setIp("192.0.2.1");

    CTrafficMeter meter({}, &shared);
    const auto download = makePacket(ipv4(198, 51, 100, 7), ipv4(192, 0, 2, 1), 443, 50000, 100);
    const auto upload = makePacket(ipv4(192, 0, 2, 1), ipv4(198, 51, 100, 7), 50000, 443, 60);
    constexpr int kMaxPackets = 2'000'000;
    std::atomic<bool> stop{false};
    std::atomic<int> dispatched{0};
    std::thread capture([&] {
        for (int count = 0; count < kMaxPackets && !stop.load(); ++count) {
            const auto& packet = count % 2 == 0 ? download : upload;
            countPacket(meter, capturedPacket(packet, static_cast<std::int32_t>(packet.size()),
                                                count % 2 == 0 ? PacketWay::Received : PacketWay::Sent));
            dispatched.store(count + 1);
        }
    });
    // The windows start once packets are flowing, so their work overlaps the accounting.
    while (dispatched.load() == 0)
        std::this_thread::yield();

    MessageBoxAnswerer messages;
    const SharedProfileSource source(shared);
    CHistoryDlg history(source);
    DisplaySettings settings;
    OptionsDlg options(settings, ProfileEditor(shared));
    for (int round = 0; round < 10; ++round) {
        history.show();
        auto* historyProfiles = byId<QComboBox>(&history, kHistoryProfileBoxId);
        historyProfiles->setCurrentIndex(1);
        historyProfiles->setCurrentIndex(0);
        byId<QComboBox>(&history, kHistorySizeBoxId)->setCurrentIndex(0);
        history.close();

        options.show();
        byId<QTabWidget>(&options, kOptionsTabsId)->setCurrentIndex(1);
        auto* profileBox = byId<QComboBox>(&options, kProfileBoxId);
        profileBox->lineEdit()->setText(QString("Extra %1").arg(round));
        QTest::mouseClick(byId<QWidget>(&options, kAddProfileId), Qt::LeftButton);
        byId<QLineEdit>(&options, kIpEntryEditId)->setText("198.51.100.7");
        QTest::mouseClick(byId<QWidget>(&options, kAddIpEntryId), Qt::LeftButton);
        byId<QLineEdit>(&options, kPortEntryEditId)->setText("443");
        QTest::mouseClick(byId<QWidget>(&options, kAddPortEntryId), Qt::LeftButton);
        profileBox->setCurrentIndex(1);
        QTest::mouseClick(byId<QWidget>(&options, kLanSwitchId), Qt::LeftButton);
        profileBox->setCurrentIndex(profileBox->findText(QString("Extra %1").arg(round)));
        QTest::mouseClick(byId<QWidget>(&options, kRemoveProfileId), Qt::LeftButton);
        options.close();
    }
    stop = true;
    capture.join();

    EXPECT_EQ(messages.take().size(), 10u); // each Remove asked first
    ASSERT_EQ(shared.profiles.size(), 2u);
    EXPECT_EQ(shared.removedNames.size(), 10u);
    const int downloads = (dispatched.load() + 1) / 2;
    const int uploads = dispatched.load() / 2;
    const DayTotals counted = historyTotals(shared.profiles[0]);
    EXPECT_EQ(counted.down, downloads * 100.0); // each direction on its own
    EXPECT_EQ(counted.up, uploads * 60.0);
}
