#include "ui/options/options_profile.h"

#include "widgets/dialog_builder.h"
#include "res/options_layouts.h"

#include "capture/machine_addresses.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>
#include <sstream>

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
    // Return in an entry field adds the entry, as its Add button would, and goes no further:
    // the dialog would take it for its OK button and close.
    ipEntryEdit->installEventFilter(this);
    portEntryEdit->installEventFilter(this);
}

bool OptionsProfile::eventFilter(QObject* watched, QEvent* event)
{
    const bool entryField = watched == ipEntryEdit || watched == portEntryEdit;
    if (entryField && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == ipEntryEdit)
                addIpEntry();
            else
                addPortEntry();
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
        localAddressText = socket.localAddresses();
        std::istringstream tokens(localAddressText);
        for (std::string address; tokens >> address;)
            addressBox->addItem(fromStd(address));
        // Then the IPv6 ones a profile can be bound to: not the link-local ones, which every
        // interface has and no other host reaches from another link.
        machineAddresses.clear();
        const MachineAddresses machine = listMachineAddresses().value_or(MachineAddresses());
        for (const MachineAddress& entry : machine.entries()) {
            machineAddresses.push_back(entry.address);
            const bool linkLocal = (entry.address.high >> 54) == (0xfe80ull >> 6);
            if (!entry.address.isV4() && !linkLocal && addressBox->findText(fromStd(ipAddressText(entry.address))) < 0)
                addressBox->addItem(fromStd(ipAddressText(entry.address)));
        }
    }
    {
        const QSignalBlocker block(profileBox);
        profileBox->clear();
        for (const std::string& name : editor.names())
            profileBox->addItem(fromStd(name));
    }
    selectProfile(0);
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
    for (const std::string& entry : page.ipEntries)
        ipFilterList->addItem(fromStd(entry));
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

void OptionsProfile::addIpEntry()
{
    const std::optional<std::string> name = selectedProfile();
    if (!name)
        return;
    const auto resolve = [this](const std::string& host) { return socket.resolve(host); };
    const ProfileEditor::Change change = editor.addIpEntry(*name, toStd(ipEntryEdit->text()), resolve);
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
    const std::string name = toStd(profileBox->lineEdit()->text());
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
    {
        const QSignalBlocker block(profileBox);
        profileBox->addItem(fromStd(name));
    }
    selectProfile(profileBox->findText(fromStd(name), Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void OptionsProfile::removeProfile()
{
    const std::optional<std::string> name = selectedProfile();
    if (!name)
        return;
    std::size_t index = 0;
    switch (editor.removeProfile(*name, &index)) {
    case ProfileEditor::Removal::DefaultProfile:
        showError("Cannot delete default profile");
        return;
    case ProfileEditor::Removal::NoProfile:
        return;
    case ProfileEditor::Removal::Removed:
        break;
    }
    // The box lists the profiles in list order, so the profile's position is its entry's.
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
    editor.setLanSwitch(*name, checked);
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

// The address box shows the profile's address: the entry equal to it, else the first one that
// begins with it; nothing when the profile has no address or the machine no such address.
void OptionsProfile::selectAddress(const std::string& ip)
{
    const QString text = fromStd(ip);
    int index = text.isEmpty() ? -1 : addressBox->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0 && !text.isEmpty())
        index = addressBox->findText(text, Qt::MatchStartsWith | Qt::MatchCaseSensitive);
    const QSignalBlocker block(addressBox);
    addressBox->setCurrentIndex(index);
}

void OptionsProfile::showError(const char* text)
{
    QMessageBox box(QMessageBox::NoIcon, "Error", text, QMessageBox::Ok, this);
    box.exec();
}
