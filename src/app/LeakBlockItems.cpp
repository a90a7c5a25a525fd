#include "app/LeakBlockItems.h"

#include "ui/TrayMenu.h"
#include "ui/UiText.h"

#include <QAction>
#include <QMenu>

LeakBlockItems::LeakBlockItems(QMenu& menu, KeyValueStore& defaults,
                               std::function<void(LeakBlock)> apply, QObject* parent)
    : QObject(parent), defaults_(defaults), apply_(std::move(apply)),
      block_(new QAction(UiText::blockLeaks, &menu)),
      localNetwork_(new QAction(UiText::allowLocalNetwork, &menu)) {
    TrayMenu::insertSettings(menu, {block_, localNetwork_});

    const LeakBlock now = remembered(defaults_);
    block_->setObjectName("blockLeaksItem");
    block_->setCheckable(true);
    block_->setChecked(now.enabled);
    localNetwork_->setObjectName("allowLocalNetworkItem");
    localNetwork_->setCheckable(true);
    localNetwork_->setChecked(now.allowLocalNetwork);
    localNetwork_->setEnabled(now.enabled);
    apply_(now);
    connect(block_, &QAction::toggled, this, [this] { changed(); });
    connect(localNetwork_, &QAction::toggled, this, [this] { changed(); });
}

LeakBlock LeakBlockItems::remembered(KeyValueStore& defaults) {
    const bool block = defaults.string(blockKey).value_or("true") != "false";
    return {block, block && defaults.string(localNetworkKey) == "true"};
}

void LeakBlockItems::changed() {
    defaults_.set(blockKey, block_->isChecked() ? "true" : "false");
    defaults_.set(localNetworkKey, localNetwork_->isChecked() ? "true" : "false");
    localNetwork_->setEnabled(block_->isChecked());
    apply_(remembered(defaults_));
}
