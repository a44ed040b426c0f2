#include "desktop/ui/options/options_profile.h"

#include "desktop/widgets/dialog_builder.h"
#include "desktop/widgets/layouts/options_layouts.h"

#include "net/machine_addresses.h"
#include "profile/profile_file.h"
#include "desktop/view/profile_page_hints.h"
#include "desktop/view/tray_tooltip.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

namespace {

constexpr int kTextLimit = 79; // characters taken from the name and entry fields

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string toStd(const QString& text)
{
    return text.left(kTextLimit).toStdString();
}

// The selected entry of a list box, or null when none is selected.
QListWidgetItem* selectedItem(const QListWidget* list)
{
    const QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? nullptr : items.front();
}

// The IPv6 prefixes of the interface that holds `ip`, as IP filter patterns ("2001:db8:1::/64"):
// the hosts on that link. None for an IPv4 address or one the machine does not hold.
std::vector<std::string> onLinkPrefixes(const std::string& ip)
{
    const std::optional<IpAddress> bound = parseIpAddress(ip);
    if (!bound || bound->isV4())
        return {};
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        if (std::ranges::none_of(entries, [&](const QNetworkAddressEntry& entry) {
                return parseIpAddress(entry.ip().toString().toStdString()) == bound;
            }))
            continue;
        std::vector<std::string> prefixes;
        for (const QNetworkAddressEntry& entry : entries) {
            const QHostAddress& address = entry.ip();
            const int length = entry.prefixLength();
            if (address.protocol() != QAbstractSocket::IPv6Protocol || address.isLinkLocal() || length <= 0 ||
                length >= 128)
                continue;
            const auto [network, bits] = QHostAddress::parseSubnet(address.toString() + '/' + QString::number(length));
            prefixes.push_back(network.toString().toStdString() + '/' + std::to_string(bits));
        }
        return prefixes;
    }
    return {};
}

} // namespace

OptionsProfile::OptionsProfile(ProfileEditor profileEditor, QWidget* parent)
    : QWidget(parent), editor(std::move(profileEditor))
{
    buildDialog(this, optionsProfileLayout());
    // A page takes the size its tab gives it; the layout's size is only its minimum.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    profileBox = control<QComboBox>(this, kProfileBoxId);
    addressBox = control<QComboBox>(this, kAddressBoxId);
    lanSwitch = control<QCheckBox>(this, kLanSwitchId);
    addressNotice = control<QLabel>(this, kAddressNoticeId);
    ipEntryEdit = control<QLineEdit>(this, kIpEntryEditId);
    ipFilterList = control<QListWidget>(this, kIpFilterListId);
    portEntryEdit = control<QLineEdit>(this, kPortEntryEditId);
    portFilterList = control<QListWidget>(this, kPortFilterListId);

    // Names are case-sensitive: no completion that would change the case of what is typed.
    profileBox->setCompleter(nullptr);
    addressBox->setCompleter(nullptr);
    profileBox->lineEdit()->setMaxLength(kTextLimit);
    profileBox->setToolTip(QString::fromUtf8(kProfileNameRules));
    ipEntryEdit->setMaxLength(kTextLimit);
    portEntryEdit->setMaxLength(kTextLimit);
    ipEntryEdit->setToolTip(QString::fromUtf8(kIpEntryHint));
    portEntryEdit->setToolTip(QString::fromUtf8(kPortEntryHint));

    // The event table. Selection changes come from the user; the page's own fills block them.
    const auto clicked = [this](int id, void (OptionsProfile::*handler)()) {
        connect(control<QPushButton>(this, id), &QPushButton::clicked, this, handler);
    };
    connect(profileBox, &QComboBox::currentIndexChanged, this, &OptionsProfile::refresh);
    connect(addressBox, &QComboBox::currentIndexChanged, this, &OptionsProfile::setAddress);
    clicked(kAddIpEntryId, &OptionsProfile::addIpEntry);
    clicked(kRemoveIpEntryId, &OptionsProfile::removeIpEntry);
    clicked(kAddPortEntryId, &OptionsProfile::addPortEntry);
    clicked(kRemovePortEntryId, &OptionsProfile::removePortEntry);
    clicked(kAddProfileId, &OptionsProfile::addProfile);
    clicked(kRemoveProfileId, &OptionsProfile::removeProfile);
    connect(lanSwitch, &QCheckBox::clicked, this, &OptionsProfile::switchLan);
    // Return in a field does what its button would, and goes no further: the dialog would take
    // it for its OK button and close, dropping what was typed. In the name field it adds the
    // profile; in the IP field it binds the profile to the address typed.
    for (QObject* field : {static_cast<QObject*>(ipEntryEdit), static_cast<QObject*>(portEntryEdit),
                           static_cast<QObject*>(profileBox->lineEdit()), static_cast<QObject*>(addressBox->lineEdit())})
        field->installEventFilter(this);
}

bool OptionsProfile::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == ipEntryEdit)
                addIpEntry();
            else if (watched == portEntryEdit)
                addPortEntry();
            else if (watched == profileBox->lineEdit())
                addProfile();
            else if (watched == addressBox->lineEdit())
                setTypedAddress();
            else
                return QWidget::eventFilter(watched, event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void OptionsProfile::initialise()
{
    ipEntryEdit->clear();
    portEntryEdit->clear();
    {
        const QSignalBlocker block(addressBox);
        addressBox->clear();
        // The machine's IPv4 addresses, then the IPv6 ones a profile can be bound to: not the
        // link-local ones, which every interface has and no other host reaches from another link.
        machineAddresses.clear();
        const MachineAddresses machine = listMachineAddresses().value_or(MachineAddresses());
        for (const MachineAddress& entry : machine.entries())
            machineAddresses.push_back(entry.address);
        for (const bool ipv4 : {true, false})
            for (const IpAddress& address : machineAddresses) {
                const bool linkLocal = (address.high >> 54) == (0xfe80ull >> 6);
                const QString text = fromStd(ipAddressText(address));
                if (address.isV4() == ipv4 && !linkLocal && addressBox->findText(text) < 0)
                    addressBox->addItem(text);
            }
    }
    refillProfiles();
    selectProfile(0);
}

// The box lists the profiles in list order, so a profile's position is its entry's.
void OptionsProfile::refillProfiles()
{
    const QSignalBlocker block(profileBox);
    profileBox->clear();
    for (const std::string& name : editor.names())
        profileBox->addItem(fromStd(name));
}

void OptionsProfile::refresh()
{
    const std::optional<std::string> name = selectedProfile();
    const std::optional<ProfilePageView> page = name ? editor.view(*name) : std::nullopt;
    if (!page)
        return;
    showFilters(*page);
    selectAddress(page->ip);
    showAddressNotice(*name, page->ip);
}

// A profile bound to an address the machine does not hold counts nothing: the page says so
// beside the address (Default counts every address the machine holds, whatever its own says).
void OptionsProfile::showAddressNotice(const std::string& name, const std::string& ip)
{
    const std::optional<IpAddress> bound = parseIpAddress(ip);
    const bool held = bound && std::find(machineAddresses.begin(), machineAddresses.end(), *bound) !=
                                   machineAddresses.end();
    const bool shown = name != kDefaultProfileName && !held;
    addressNotice->setText(shown ? QStringLiteral("Address not held") : QString());
    addressNotice->setToolTip(
        shown ? QStringLiteral("This machine does not hold %1 now: the profile counts nothing until it does.")
                    .arg(fromStd(ip))
              : QString());
}

// The lists and the switch as the profile now is: one entry added or removed can change the
// marker of another (a deny entry covering an allowed one), and a refused switch goes back.
void OptionsProfile::showFilters(const ProfilePageView& page)
{
    ipFilterList->clear();
    portFilterList->clear();
    lanSwitch->setChecked(page.lanChecked);
    // A whole IPv6 address may be wider than the list, which scrolls; the tooltip shows it too.
    for (const std::string& entry : page.ipEntries) {
        ipFilterList->addItem(fromStd(entry));
        ipFilterList->item(ipFilterList->count() - 1)->setToolTip(fromStd(entry));
    }
    for (const std::string& entry : page.portEntries)
        portFilterList->addItem(fromStd(entry));
}

void OptionsProfile::showFilters(const std::string& name)
{
    if (const std::optional<ProfilePageView> page = editor.view(name))
        showFilters(*page);
}

void OptionsProfile::setAddress()
{
    const int index = addressBox->currentIndex();
    if (const std::optional<std::string> name = selectedProfile(); name && index >= 0) {
        editor.setAddress(*name, addressBox->itemText(index).toStdString());
        showAddressNotice(*name, addressBox->itemText(index).toStdString());
    }
}

void OptionsProfile::setTypedAddress()
{
    const std::optional<std::string> name = selectedProfile();
    const std::optional<IpAddress> typed = parseIpAddress(addressBox->currentText().trimmed().toStdString());
    if (!name)
        return;
    if (!typed) {
        showError("Unknown or invalid IP address");
        return;
    }
    const std::string ip = ipAddressText(*typed); // as the machine's addresses are written
    editor.setAddress(*name, ip);
    selectAddress(ip);
    showAddressNotice(*name, ip);
}

void OptionsProfile::addIpEntry()
{
    const std::optional<std::string> name = selectedProfile();
    if (!name)
        return;
    const ProfileEditor::Change change = editor.addIpEntry(*name, toStd(ipEntryEdit->text()), resolveHostName);
    if (change.outcome == ProfileEditor::Outcome::Done) {
        showFilters(*name);
        ipEntryEdit->clear();
    } else if (change.outcome == ProfileEditor::Outcome::Refused) {
        showError("Unknown or invalid IP address");
    }
}

void OptionsProfile::removeIpEntry()
{
    const QListWidgetItem* item = selectedItem(ipFilterList);
    const std::optional<std::string> name = selectedProfile();
    if (item == nullptr || !name)
        return;
    if (editor.removeIpEntry(*name, item->text().toStdString()).outcome == ProfileEditor::Outcome::Done)
        showFilters(*name);
}

void OptionsProfile::addPortEntry()
{
    const std::optional<std::string> name = selectedProfile();
    if (!name)
        return;
    const ProfileEditor::Change change = editor.addPortEntry(*name, toStd(portEntryEdit->text()));
    if (change.outcome == ProfileEditor::Outcome::Done) {
        showFilters(*name);
        portEntryEdit->clear();
    } else if (change.outcome == ProfileEditor::Outcome::Refused) {
        showError("Invalid port number");
    }
}

void OptionsProfile::removePortEntry()
{
    const QListWidgetItem* item = selectedItem(portFilterList);
    const std::optional<std::string> name = selectedProfile();
    if (item == nullptr || !name)
        return;
    if (editor.removePortEntry(*name, item->text().toStdString()).outcome == ProfileEditor::Outcome::Done)
        showFilters(*name);
}

void OptionsProfile::addProfile()
{
    const std::string name = trimmedProfileName(toStd(profileBox->lineEdit()->text()));
    const int address = addressBox->currentIndex();
    const std::string ip = address < 0 ? std::string() : addressBox->itemText(address).toStdString();
    switch (editor.addProfile(name, ip)) {
    case ProfileEditor::NewProfile::NameInUse:
        showError("Profile with that name already exists");
        return;
    case ProfileEditor::NewProfile::InvalidName:
        showError("Invalid profile name");
        return;
    case ProfileEditor::NewProfile::Added:
        break;
    }
    refillProfiles();
    selectProfile(profileBox->findText(fromStd(name), Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void OptionsProfile::removeProfile()
{
    const std::optional<std::string> name = selectedProfile();
    if (!name)
        return;
    if (*name == kDefaultProfileName) {
        showError("Cannot delete default profile");
        return;
    }
    // Its history goes with it, so it is said first; the file is set aside, never deleted.
    const std::optional<ProfilePageView> page = editor.view(*name);
    const QString question =
        QStringLiteral("Remove the profile \"%1\" and its history (%2 in all)?\n\nIts file is kept in the "
                       "profiles folder as %3.")
            .arg(fromStd(*name), fromStd(formatByteAmount(page ? page->totalBytes : 0)),
                 fromStd(profileFileName(*name) + ".removed"));
    QMessageBox ask(QMessageBox::Question, "Remove Profile", question, QMessageBox::Yes | QMessageBox::No, this);
    ask.setDefaultButton(QMessageBox::No);
    if (ask.exec() != QMessageBox::Yes)
        return;
    std::size_t index = 0;
    switch (editor.removeProfile(*name, &index)) {
    case ProfileEditor::Removal::DefaultProfile: // refused above
    case ProfileEditor::Removal::NoProfile:
        return;
    case ProfileEditor::Removal::Removed:
        break;
    }
    {
        const QSignalBlocker block(profileBox);
        profileBox->removeItem(static_cast<int>(index));
    }
    // The entry before the removed one; after the first, the new first.
    selectProfile(index > 0 ? static_cast<int>(index) - 1 : 0);
}

void OptionsProfile::switchLan(bool checked)
{
    const std::optional<std::string> name = selectedProfile();
    if (!name)
        return;
    const std::optional<ProfilePageView> page = editor.view(*name);
    editor.setLanSwitch(*name, checked, page ? onLinkPrefixes(page->ip) : std::vector<std::string>());
    showFilters(*name);
}

std::optional<std::string> OptionsProfile::selectedProfile() const
{
    const int index = profileBox->currentIndex();
    if (index < 0)
        return std::nullopt;
    return profileBox->itemText(index).toStdString();
}

void OptionsProfile::selectProfile(int index)
{
    {
        const QSignalBlocker block(profileBox);
        profileBox->setCurrentIndex(index < profileBox->count() ? index : -1);
    }
    refresh();
}

// The address box shows the profile's address: the entry equal to it, else the address as
// text (one the machine does not hold now); nothing when the profile has no address.
void OptionsProfile::selectAddress(const std::string& ip)
{
    const QString text = fromStd(ip);
    const QSignalBlocker block(addressBox);
    addressBox->setCurrentIndex(text.isEmpty() ? -1 : addressBox->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
    if (addressBox->currentIndex() < 0)
        addressBox->setEditText(text);
    addressBox->setToolTip(text);
}

void OptionsProfile::showError(const char* text)
{
    QMessageBox box(QMessageBox::NoIcon, "Error", text, QMessageBox::Ok, this);
    box.exec();
}
