#pragma once

#include "helper/HelperProtocol.h"
#include "platform/KeyValueStore.h"

#include <QObject>
#include <functional>

class QAction;
class QMenu;

// The status menu's two check items about traffic outside the tunnel: "Blokkeer internet
// zonder VPN" (on when nothing is remembered) and "Lokaal netwerk toestaan" (off when
// nothing is, and only to be chosen while the first is on). Both are kept in the user's
// defaults; each change is remembered and handed to `apply`, which also gets the remembered
// choice at once. They go above the menu's last separator, before the quit item.
class LeakBlockItems : public QObject {
public:
    static constexpr const char* blockKey = "blockLeaks";
    static constexpr const char* localNetworkKey = "allowLocalNetwork";

    LeakBlockItems(QMenu& menu, KeyValueStore& defaults, std::function<void(LeakBlock)> apply,
                   QObject* parent = nullptr);

    static LeakBlock remembered(KeyValueStore& defaults);

    QAction* blockItem() const { return block_; }
    QAction* localNetworkItem() const { return localNetwork_; }

private:
    void changed();

    KeyValueStore& defaults_;
    std::function<void(LeakBlock)> apply_;
    QAction* block_;
    QAction* localNetwork_;
};
