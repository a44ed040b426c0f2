#pragma once
// The main window's profile selector: an entry per profile, in the engine's order, and the
// entry chosen is the profile the engine counts.

#include <QObject>
#include <optional>
#include <string>

class CMonitorEngine;
class QComboBox;

class ProfileSelector : public QObject {
public:
    ProfileSelector(QComboBox* box, CMonitorEngine& engine);

    // One entry per profile, the first chosen; nothing is counted anew.
    void refill();
    // The entry of that name, else "Default", else the first, becomes the counted profile.
    void selectNamed(const std::optional<std::string>& name);
    // The chosen entry's name; none while there is no entry.
    std::optional<std::string> selectedName() const;

private:
    void select(int index);

    QComboBox* box;
    CMonitorEngine& engine;
};
