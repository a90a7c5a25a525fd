#pragma once

#include "platform/AutostartEntry.h"
#include "platform/KeyValueStore.h"

#include <QObject>

class QAction;
class QMenu;

// The status menu's two check items about starting: "Starten bij inloggen", which writes
// or removes the autostart entry (whose presence is the setting), and "Verbinden bij
// starten", kept in the user's defaults, which the login window reads at start. They go
// above the menu's last separator, before the quit item.
class StartupItems : public QObject {
public:
    static constexpr const char* connectAtStartKey = "connectAtStart";

    StartupItems(QMenu& menu, const AutostartEntry& autostart, KeyValueStore& defaults,
                 QObject* parent = nullptr);

    static bool connectAtStart(KeyValueStore& defaults);

    QAction* startAtLoginItem() const { return startAtLogin_; }
    QAction* connectAtStartItem() const { return connectAtStart_; }

private:
    void setStartAtLogin(bool on);

    const AutostartEntry& autostart_;
    KeyValueStore& defaults_;
    QAction* startAtLogin_;
    QAction* connectAtStart_;
};
