#include "ui/StatusIcons.h"

#include "ui/Artwork.h"

QIcon StatusIcons::forLook(StatusLine::Look look) {
    switch (look) {
    case StatusLine::Look::connected:
        return Artwork::icon("ic_status");
    case StatusLine::Look::connecting:
    case StatusLine::Look::stopping:
        return Artwork::icon("ic_status_connecting");
    case StatusLine::Look::blocked:
    case StatusLine::Look::stillReconnecting:
        return Artwork::icon("ic_status_blocked");
    case StatusLine::Look::disconnected:
        break;
    }
    return Artwork::icon("ic_status_disconnected");
}
