#include "app/StartupItems.h"

#include "platform/Log.h"
#include "ui/TrayMenu.h"
#include "ui/UiText.h"

#include <QAction>
#include <QMenu>

StartupItems::StartupItems(QMenu& menu, const AutostartEntry& autostart, KeyValueStore& defaults,
                           QObject* parent)
    : QObject(parent), autostart_(autostart), defaults_(defaults),
      startAtLogin_(new QAction(UiText::startAtLogin, &menu)),
      connectAtStart_(new QAction(UiText::connectAtStart, &menu)) {
    TrayMenu::insertSettings(menu, {startAtLogin_, connectAtStart_});

    startAtLogin_->setObjectName("startAtLoginItem");
    startAtLogin_->setCheckable(true);
    startAtLogin_->setChecked(autostart_.exists());
    connect(startAtLogin_, &QAction::toggled, this, [this](bool on) { setStartAtLogin(on); });

    connectAtStart_->setObjectName("connectAtStartItem");
    connectAtStart_->setCheckable(true);
    connectAtStart_->setChecked(connectAtStart(defaults_));
    connect(connectAtStart_, &QAction::toggled, this, [this](bool on) {
        if (on)
            defaults_.set(connectAtStartKey, "true");
        else
            defaults_.remove(connectAtStartKey);
    });
}

bool StartupItems::connectAtStart(KeyValueStore& defaults) {
    return defaults.string(connectAtStartKey) == "true";
}

void StartupItems::setStartAtLogin(bool on) {
    if (on ? autostart_.write() : autostart_.remove())
        return;
    Log::line(std::string(on ? "could not write " : "could not remove ") +
              autostart_.path().string());
    // The item shows what is on disk.
    const QSignalBlocker quiet(startAtLogin_);
    startAtLogin_->setChecked(autostart_.exists());
}
