#include "desktop/app/profile_selector.h"

#include "desktop/app/stored_settings.h"
#include "monitor/monitor_engine.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <vector>

ProfileSelector::ProfileSelector(QComboBox* box, CMonitorEngine& engine) : QObject(box), box(box), engine(engine)
{
    connect(box, &QComboBox::currentIndexChanged, this, &ProfileSelector::select);
}

void ProfileSelector::refill()
{
    const std::vector<std::string> names = engine.profileNames();
    const QSignalBlocker blocker(box);
    box->clear();
    // Each entry keeps the name's own bytes, which a display text need not reproduce.
    for (const std::string& name : names)
        box->addItem(QString::fromStdString(name), QByteArray::fromStdString(name));
    box->setCurrentIndex(names.empty() ? -1 : 0);
}

void ProfileSelector::selectNamed(const std::optional<std::string>& name)
{
    std::vector<std::string> names;
    for (int i = 0; i < box->count(); ++i)
        names.push_back(box->itemData(i).toByteArray().toStdString());
    const int index = chooseProfileIndex(names, name);
    {
        const QSignalBlocker blocker(box);
        box->setCurrentIndex(index);
    }
    engine.selectFirstProfile();
    select(index);
}

std::optional<std::string> ProfileSelector::selectedName() const
{
    const int index = box->currentIndex();
    if (index < 0)
        return std::nullopt;
    return box->itemData(index).toByteArray().toStdString();
}

// Names are compared whole, however long: the first profile of that exact name is counted.
void ProfileSelector::select(int index)
{
    if (index < 0)
        return;
    engine.selectProfile(box->itemData(index).toByteArray().toStdString());
}
