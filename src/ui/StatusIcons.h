#pragma once

#include "ui/StatusLine.h"

#include <QIcon>

// The tray icon of each look: the shield in green when connected, amber while
// connecting or ending, grey when disconnected, red while the block holds after a drop. Drawn at
// the sizes trays ask for, so a tray that takes the icon as pixmaps over D-Bus (StatusNotifierItem)
// gets every one of them.
namespace StatusIcons {

QIcon forLook(StatusLine::Look look);

} // namespace StatusIcons
