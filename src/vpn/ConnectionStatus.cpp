#include "vpn/ConnectionStatus.h"

const char* phaseName(RunPhase phase) {
    switch (phase) {
    case RunPhase::idle:
        return "idle";
    case RunPhase::preparing:
        return "preparing";
    case RunPhase::requesting:
        return "requesting";
    case RunPhase::attaching:
        return "attaching";
    case RunPhase::connecting:
        return "connecting";
    case RunPhase::connected:
        return "connected";
    case RunPhase::reconnecting:
        return "reconnecting";
    case RunPhase::stopping:
        return "stopping";
    case RunPhase::blocked:
        return "blocked";
    }
    return "?";
}
