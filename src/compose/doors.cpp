#include "compose/doors.h"

namespace {

ULONG gOpen[2] = {0, 0};

ULONG& Openings(Door door) {
    return gOpen[door == Door::AddIn ? 1 : 0];
}

} // namespace

void OpenDoor(Door door) {
    ++Openings(door);
}

bool CloseDoor(Door door) {
    ULONG& openings = Openings(door);
    if (openings > 0)
        --openings;
    return gOpen[0] == 0 && gOpen[1] == 0;
}

ULONG DoorsOpen(Door door) {
    return Openings(door);
}

void ResetDoors() {
    gOpen[0] = gOpen[1] = 0;
}
