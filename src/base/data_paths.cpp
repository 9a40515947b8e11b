#include "base/data_paths.h"

DataPathsState DataPaths = {};
