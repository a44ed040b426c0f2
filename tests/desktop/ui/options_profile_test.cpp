#include "dialog_test_support.h"
#include "net/machine_addresses.h"
#include "profile/profile_store.h"
#include "desktop/widgets/layouts/options_layouts.h"
#include "desktop/ui/options/options_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTest>

namespace {

struct ProfilesPageTest : testing::Test {
    void SetUp() override
    {
        shared.profiles.resize(2);
        shared.profiles[0] = makeDefaultProfile("192.168.1.20");
        shared.profiles[1].setName("Work");
        shared.profiles[1].setIp("192.168.1.20");
    }

    void open()
    {
        dialog.show();
        byId<QTabWidget>(&dialog, kOptionsTabsId)->setCurrentIndex(1);
        profileBox = byId<QComboBox>(&dialog, kProfileBoxId);
        addressBox = byId<QComboBox>(&dialog, kAddressBoxId);
        lanSwitch = byId<QCheckBox>(&dialog, kLanSwitchId);
        ipEdit = byId<QLineEdit>(&dialog, kIpEntryEditId);
        ipList = byId<QListWidget>(&dialog, kIpFilterListId);
        portEdit = byId<QLineEdit>(&dialog, kPortEntryEditId);
        portList = byId<QListWidget>(&dialog, kPortFilterListId);
    }

    void choose(const char* profile)
    {
        const int index = profileBox->findText(profile, Qt::MatchExactly | Qt::MatchCaseSensitive);
        ASSERT_GE(index, 0) << profile;
        if (index == profileBox->currentIndex())
            profileBox->setCurrentIndex(-1);
        profileBox->setCurrentIndex(index);
    }

    void click(int id) { QTest::mouseClick(byId<QWidget>(&dialog, id), Qt::LeftButton); }

    void type(QLineEdit* edit, const char* text)
    {
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    void selectEntry(QListWidget* list, const char* text)
    {
        const auto found = list->findItems(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        ASSERT_EQ(found.size(), 1) << text;
        list->setCurrentItem(found.front());
    }

    // Makes the machine's address list offer an address it may not have.
    void offerAddress(const char* address)
    {
        const QSignalBlocker block(addressBox);
        addressBox->addItem(address);
    }

    CProfile& profile(std::size_t index) { return shared.profiles[index]; }

    DisplaySettings settings;
    SharedProfiles shared;
    OptionsDlg dialog{settings, ProfileEditor(shared)};
    MessageBoxAnswerer messages;
    QComboBox *profileBox = nullptr, *addressBox = nullptr;
    QCheckBox* lanSwitch = nullptr;
    QLineEdit *ipEdit = nullptr, *portEdit = nullptr;
    QListWidget *ipList = nullptr, *portList = nullptr;
};

} // namespace

TEST_F(ProfilesPageTest, OpensOnTheFirstProfileWithTheMachinesAddresses)
{
    open();
    QStringList addresses;
    const MachineAddresses machine = listMachineAddresses().value_or(MachineAddresses());
    for (const MachineAddress& entry : machine.entries())
        if (entry.address.isV4() && !addresses.contains(QString::fromStdString(ipAddressText(entry.address))))
            addresses << QString::fromStdString(ipAddressText(entry.address));
    // The IPv4 addresses as the machine lists them, then its IPv6 ones (no link-local one).
    const QStringList listed = itemTexts(addressBox);
    EXPECT_EQ(listed.mid(0, addresses.size()), addresses);
    for (const QString& ipv6 : listed.mid(addresses.size()))
        EXPECT_TRUE(ipv6.contains(':') && !ipv6.startsWith("fe80:")) << ipv6.toStdString();
    EXPECT_EQ(profileBox->count(), 2);
    EXPECT_EQ(profileBox->currentText(), "Default");
    EXPECT_EQ(itemTexts(ipList), QStringList{"*.*.*.*"});
    EXPECT_EQ(itemTexts(portList), QStringList{"0"});
    EXPECT_TRUE(lanSwitch->isChecked());
}

TEST_F(ProfilesPageTest, LanSwitchAddsAndRemovesTheDenyEntry)
{
    ASSERT_TRUE(profile(1).addIpFilter("192.168.1.1", true)); // would count LAN traffic before them
    open();
    choose("Work");
    EXPECT_TRUE(lanSwitch->isChecked());
    click(kLanSwitchId);
    ASSERT_EQ(profile(1).ipFilter.size(), 4u); // with the IPv6 link-local and unique local ranges
    EXPECT_EQ(profile(1).ipFilter[0].pattern, "192.168.*.*");
    EXPECT_FALSE(profile(1).ipFilter[0].allow);
    EXPECT_FALSE(profile(1).matchIpFilter("192.168.1.1"));
    EXPECT_EQ(itemTexts(ipList), (QStringList{"-192.168.*.*", "-fe80::/10", "-fc00::/7", "-192.168.1.1"}));

    click(kLanSwitchId);
    EXPECT_TRUE(lanSwitch->isChecked());
    EXPECT_EQ(itemTexts(ipList), QStringList{"192.168.1.1"});
    selectEntry(ipList, "192.168.1.1");
    click(kRemoveIpEntryId);

    click(kLanSwitchId);
    dialog.close();
    open();
    choose("Work");
    EXPECT_FALSE(lanSwitch->isChecked());
    EXPECT_EQ(itemTexts(ipList).front(), "-192.168.*.*");
    selectEntry(ipList, "-192.168.*.*"); // removed by hand: the switch follows
    click(kRemoveIpEntryId);
    EXPECT_TRUE(lanSwitch->isChecked());
    messages.expectNone();
}

TEST_F(ProfilesPageTest, NewAddressKeepsTheOldLanEntry)
{
    ASSERT_TRUE(profile(1).addIpFilter("192.168.*.*", false));
    open();
    offerAddress("10.0.0.5");
    choose("Work");
    EXPECT_FALSE(lanSwitch->isChecked());
    addressBox->setCurrentIndex(addressBox->findText("10.0.0.5"));
    EXPECT_EQ(profile(1).getIp(), "10.0.0.5");
    EXPECT_EQ(profile(1).ipFilter.size(), 1u);
    EXPECT_EQ(itemTexts(ipList), QStringList{"-192.168.*.*"});
    EXPECT_FALSE(lanSwitch->isChecked());
    choose("Default");
    choose("Work");
    EXPECT_TRUE(lanSwitch->isChecked());
    EXPECT_EQ(addressBox->currentText(), "10.0.0.5");
    EXPECT_EQ(itemTexts(ipList), QStringList{"-192.168.*.*"});
}

TEST_F(ProfilesPageTest, AddingTheSameAddressTwiceIsRefused)
{
    open();
    choose("Work");
    type(ipEdit, "10.0.0.1");
    click(kAddIpEntryId);
    messages.expectNone();
    EXPECT_EQ(itemTexts(ipList), QStringList{"10.0.0.1"});
    EXPECT_TRUE(ipEdit->text().isEmpty());

    type(ipEdit, "10.0.0.1");
    click(kAddIpEntryId);
    messages.expectError("Unknown or invalid IP address");
    EXPECT_EQ(ipEdit->text(), "10.0.0.1");
    EXPECT_EQ(profile(1).ipFilter.size(), 1u);
    EXPECT_EQ(itemTexts(ipList), QStringList{"10.0.0.1"});

    // A name is tried after the text as typed fails; localhost comes from the hosts file.
    type(ipEdit, "localhost");
    click(kAddIpEntryId);
    messages.expectNone();
    EXPECT_EQ(itemTexts(ipList), (QStringList{"10.0.0.1", "127.0.0.1"}));
    EXPECT_EQ(profile(1).ipFilterPattern(1), "127.0.0.1");
}

TEST_F(ProfilesPageTest, PortEntries)
{
    open();
    choose("Work");
    const struct {
        const char* typed;
        const char* error; // null: added
    } cases[] = {
        {"080", nullptr}, {"80", "Invalid port number"}, {"70000", "Invalid port number"},
        {"none", nullptr}, {"-5", nullptr}, {"-70000", "Invalid port number"}, {"65535", nullptr},
    };
    for (const auto& c : cases) {
        type(portEdit, c.typed);
        click(kAddPortEntryId);
        if (c.error != nullptr) {
            messages.expectError(c.error);
            EXPECT_EQ(portEdit->text(), c.typed);
        } else {
            messages.expectNone();
            EXPECT_TRUE(portEdit->text().isEmpty()) << c.typed;
        }
    }
    EXPECT_EQ(itemTexts(portList), (QStringList{"80", "0", "-5", "65535"}));
    ASSERT_EQ(profile(1).portFilter.size(), 4u);
    EXPECT_FALSE(profile(1).portFilter[2].allow);
    EXPECT_EQ(profile(1).portFilter[3].port, 65535);

    selectEntry(portList, "0");
    click(kRemovePortEntryId);
    EXPECT_EQ(itemTexts(portList), (QStringList{"80", "-5", "65535"}));
    EXPECT_EQ(profile(1).portFilter.size(), 3u);
}

TEST_F(ProfilesPageTest, DefaultProfileFiltersAreLockedButItsAddressAndSwitchWork)
{
    open();
    offerAddress("10.0.0.5");
    choose("Default");
    type(ipEdit, "10.0.0.1");
    click(kAddIpEntryId);
    type(portEdit, "80");
    click(kAddPortEntryId);
    selectEntry(ipList, "*.*.*.*");
    click(kRemoveIpEntryId);
    selectEntry(portList, "0");
    click(kRemovePortEntryId);
    messages.expectNone();
    EXPECT_EQ(itemTexts(ipList), QStringList{"*.*.*.*"});
    EXPECT_EQ(itemTexts(portList), QStringList{"0"});
    EXPECT_EQ(profile(0).ipFilter.size(), 1u);
    EXPECT_EQ(profile(0).portFilter.size(), 1u);

    click(kRemoveProfileId);
    messages.expectError("Cannot delete default profile");
    EXPECT_EQ(shared.profiles.size(), 2u);

    addressBox->setCurrentIndex(addressBox->findText("10.0.0.5"));
    EXPECT_EQ(profile(0).getIp(), "10.0.0.5");
    click(kLanSwitchId);
    EXPECT_EQ(profile(0).ipFilterPattern(0), "10.0.*.*");
    EXPECT_EQ(itemTexts(ipList), (QStringList{"-10.0.*.*", "-fe80::/10", "-fc00::/7", "*.*.*.*"}));
    messages.expectNone();
}

TEST_F(ProfilesPageTest, ProfileNamesAddAndRemove)
{
    open();
    const auto add = [&](const char* name, bool byReturn = false) {
        profileBox->lineEdit()->clear();
        QTest::keyClicks(profileBox->lineEdit(), name);
        if (byReturn)
            QTest::keyClick(profileBox->lineEdit(), Qt::Key_Return);
        else
            click(kAddProfileId);
    };
    // Trimmed, and compared ignoring case: " Default" and "work" look like profiles there are.
    for (const char* taken : {"Work", "work", " Default", "DEFAULT "}) {
        add(taken);
        messages.expectError("Profile with that name already exists");
    }
    for (const char* bad : {"a/b", "..", ".", "", "  "}) {
        add(bad);
        messages.expectError("Invalid profile name");
    }
    EXPECT_EQ(shared.profiles.size(), 2u);

    // Return in the name field adds the profile and keeps the dialog open; the new profile
    // takes its place in the order the next start loads them in, everywhere.
    ASSERT_TRUE(profile(1).addIpFilter("1.2.3.4", true));
    add(" alpha ", true);
    messages.expectNone();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(shared.profiles.size(), 3u);
    EXPECT_EQ(profile(0).name, "alpha");
    EXPECT_EQ(itemTexts(profileBox), (QStringList{"alpha", "Default", "Work"}));
    EXPECT_EQ(profileBox->currentText(), "alpha");
    EXPECT_TRUE(itemTexts(ipList).isEmpty());
    EXPECT_TRUE(itemTexts(portList).isEmpty());
    EXPECT_TRUE(lanSwitch->isChecked());
    const int address = addressBox->currentIndex();
    EXPECT_EQ(profile(0).getIp(), address < 0 ? "" : addressBox->itemText(address).toStdString());

    // Remove asks first, naming the profile, what it counted and where its file goes.
    profile(0).addToDayHistory(1'500'000, true, {2026, 3, 2});
    messages.questionAnswer = QMessageBox::No;
    click(kRemoveProfileId);
    std::vector<MessageBoxAnswerer::Seen> asked = messages.take();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text.toStdString(),
              "Remove the profile \"alpha\" and its history (1.50 MB in all)?\n\nIts file is kept in the "
              "profiles folder as alpha.xml.removed.");
    EXPECT_EQ(shared.profiles.size(), 3u);
    messages.questionAnswer = QMessageBox::Yes;
    click(kRemoveProfileId);
    EXPECT_EQ(messages.take().size(), 1u);
    ASSERT_EQ(shared.profiles.size(), 2u);
    EXPECT_EQ(profileBox->currentText(), "Default");
    EXPECT_EQ(shared.removedNames, std::vector<std::string>{"alpha"});
    choose("Work");
    EXPECT_EQ(itemTexts(ipList), QStringList{"1.2.3.4"});
}

TEST_F(ProfilesPageTest, RemoveTakesTheDenyMarkerOff)
{
    ASSERT_TRUE(profile(1).addIpFilter("10.0.*.*", false));
    ASSERT_TRUE(profile(1).addIpFilter("10.0.0.1", true));
    ASSERT_TRUE(profile(1).addPortFilter(false, 80));
    open();
    choose("Work");
    EXPECT_EQ(itemTexts(ipList), (QStringList{"-10.0.*.*", "-10.0.0.1"}));
    EXPECT_EQ(itemTexts(portList), QStringList{"-80"});
    selectEntry(ipList, "-10.0.*.*");
    click(kRemoveIpEntryId);
    selectEntry(portList, "-80");
    click(kRemovePortEntryId);
    EXPECT_EQ(itemTexts(ipList), QStringList{"10.0.0.1"}); // no longer denied by the range
    EXPECT_TRUE(itemTexts(portList).isEmpty());
    ASSERT_EQ(profile(1).ipFilter.size(), 1u);
    EXPECT_EQ(profile(1).ipFilter[0].pattern, "10.0.0.1");
    EXPECT_TRUE(profile(1).portFilter.empty());
}

// A leading "-" in a field adds a deny entry, shown marked; Remove finds it by that text.
TEST_F(ProfilesPageTest, AMarkedEntryTypedInAFieldIsADenyEntry)
{
    open();
    choose("Work");
    EXPECT_TRUE(ipEdit->toolTip().contains("\"-\" in front"));
    EXPECT_TRUE(portEdit->toolTip().contains("\"-\" in front"));
    type(ipEdit, "198.51.100.7");
    click(kAddIpEntryId);
    type(ipEdit, "-198.51.100.*");
    click(kAddIpEntryId);
    type(portEdit, "-80");
    QTest::keyClick(portEdit, Qt::Key_Return);
    // The first entry that covers an address decides: the address typed first stays allowed.
    EXPECT_EQ(itemTexts(ipList), (QStringList{"198.51.100.7", "-198.51.100.*"}));
    EXPECT_EQ(itemTexts(portList), QStringList{"-80"});
    ASSERT_EQ(profile(1).ipFilter.size(), 2u);
    EXPECT_TRUE(profile(1).ipFilter[0].allow);
    EXPECT_FALSE(profile(1).ipFilter[1].allow);
    EXPECT_EQ(profile(1).ipFilter[1].pattern, "198.51.100.*");
    ASSERT_EQ(profile(1).portFilter.size(), 1u);
    EXPECT_FALSE(profile(1).portFilter[0].allow);
    EXPECT_EQ(profile(1).portFilter[0].port, 80);

    selectEntry(ipList, "-198.51.100.*");
    click(kRemoveIpEntryId);
    selectEntry(portList, "-80");
    click(kRemovePortEntryId);
    EXPECT_EQ(itemTexts(ipList), QStringList{"198.51.100.7"});
    EXPECT_TRUE(itemTexts(portList).isEmpty());
    messages.expectNone();
}

// The switch is about its deny entry only: a user's allow entry of the LAN pattern stays
// whatever the switch is clicked to.
TEST_F(ProfilesPageTest, LanSwitchLeavesAnAllowEntryOfThePatternAlone)
{
    profile(1).setIp("10.213.0.1");
    open();
    choose("Work");
    type(ipEdit, "10.213.*.*");
    click(kAddIpEntryId);
    EXPECT_TRUE(lanSwitch->isChecked());
    click(kLanSwitchId); // would add the deny entry, which the allow entry keeps out
    EXPECT_TRUE(lanSwitch->isChecked());
    click(kLanSwitchId);
    choose("Default");
    choose("Work");
    EXPECT_EQ(itemTexts(ipList), QStringList{"10.213.*.*"});
    EXPECT_TRUE(lanSwitch->isChecked());
    ASSERT_EQ(profile(1).ipFilter.size(), 1u);
    EXPECT_TRUE(profile(1).ipFilter[0].allow);
    messages.expectNone();
}

TEST_F(ProfilesPageTest, RemovingTheFirstProfileShowsTheNewFirst)
{
    shared.profiles.insert(shared.profiles.begin(), CProfile{});
    profile(0).setName("Alpha");
    ASSERT_TRUE(profile(0).addPortFilter(true, 443));
    open();
    EXPECT_EQ(itemTexts(portList), QStringList{"443"});
    click(kRemoveProfileId);
    messages.take();
    EXPECT_EQ(profileBox->currentIndex(), 0);
    EXPECT_EQ(profileBox->currentText(), "Default");
    EXPECT_EQ(itemTexts(portList), QStringList{"0"});
    EXPECT_EQ(shared.removedNames, std::vector<std::string>{"Alpha"});

    // Elsewhere the entry before the removed one is shown.
    choose("Work");
    click(kRemoveProfileId);
    messages.take();
    EXPECT_EQ(profileBox->currentText(), "Default");
    EXPECT_EQ(profileBox->count(), 1);
    EXPECT_EQ(shared.removedNames, (std::vector<std::string>{"Alpha", "Work"}));
}

TEST_F(ProfilesPageTest, LanSwitchWithoutATwoPartAddressChangesNothing)
{
    profile(1).setIp("");
    open();
    choose("Work");
    EXPECT_TRUE(lanSwitch->isChecked());
    click(kLanSwitchId);
    EXPECT_TRUE(lanSwitch->isChecked()); // nothing changed, and the box says so at once
    EXPECT_TRUE(profile(1).ipFilter.empty());
    EXPECT_TRUE(itemTexts(ipList).isEmpty());
    choose("Default");
    choose("Work");
    EXPECT_TRUE(lanSwitch->isChecked());
    EXPECT_EQ(addressBox->currentIndex(), -1);
    messages.expectNone();
}

TEST_F(ProfilesPageTest, ReturnInAnEntryFieldAddsTheEntryAndKeepsOptionsOpen)
{
    open();
    choose("Work");
    const struct { QLineEdit* edit; const char* typed; QListWidget* list; } fields[] = {
        {ipEdit, "10.0.0.1", ipList}, {portEdit, "443", portList}};
    for (const auto& field : fields) {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            type(field.edit, field.typed);
            QTest::keyClick(field.edit, key);
        }
        messages.take(); // the second one is a duplicate: refused with a message
        EXPECT_EQ(itemTexts(field.list), QStringList{field.typed});
    }
    // In the IP field Return binds the profile to the address typed, held or not; the field
    // keeps showing it, whole, as it does a bound address the machine does not hold.
    for (const char* typed : {"2001:db8:1:0:1234:5678:9abc:def0", "not an address"}) {
        addressBox->lineEdit()->selectAll();
        QTest::keyClicks(addressBox->lineEdit(), typed);
        QTest::keyClick(addressBox->lineEdit(), Qt::Key_Return);
    }
    messages.expectError("Unknown or invalid IP address");
    EXPECT_EQ(profile(1).getIp(), "2001:db8:1:0:1234:5678:9abc:def0");
    choose("Default");
    choose("Work");
    EXPECT_EQ(addressBox->currentText(), "2001:db8:1:0:1234:5678:9abc:def0");
    EXPECT_LE(addressBox->lineEdit()->fontMetrics().horizontalAdvance(addressBox->currentText()),
              addressBox->lineEdit()->contentsRect().width());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
}
