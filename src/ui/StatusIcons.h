#pragma once

#include "ui/StatusLine.h"

#include <QIcon>

// The tray icon of each look: the shield in green when connected, amber while
// connecting, grey when disconnected. Named from the icon theme where the package
// installed them ("quovant-connected", "quovant-connecting", "quovant-disconnected"),
// which a StatusNotifierItem tray takes by name; otherwise drawn at the sizes trays ask
// for, so a tray that takes the icon as pixmaps over D-Bus gets every one of them.
namespace StatusIcons {

QIcon forLook(StatusLine::Look look);

} // namespace StatusIcons
