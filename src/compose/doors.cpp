#include "compose/doors.h"

namespace {

ULONG OpenDoorCount[2] = {0, 0};

ULONG& Openings(Door door) {
    return OpenDoorCount[door == Door::AddIn ? 1 : 0];
}

} // namespace

void OpenDoor(Door door) {
    ++Openings(door);
}

bool CloseDoor(Door door) {
    ULONG& openings = Openings(door);
    if (openings > 0)
        --openings;
    return OpenDoorCount[0] == 0 && OpenDoorCount[1] == 0;
}

ULONG DoorsOpen(Door door) {
    return Openings(door);
}

void ResetDoors() {
    OpenDoorCount[0] = OpenDoorCount[1] = 0;
}
