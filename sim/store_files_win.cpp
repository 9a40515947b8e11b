// The persistent store's one step that needs more than whole files: a new
// version of a file takes the old one's place in one rename, so that a kill
// leaves the one or the other.
#include "world_internal.h"

namespace sim {

bool ReplaceFileWith(const std::string& temp, const std::string& target) {
    return MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

} // namespace sim
