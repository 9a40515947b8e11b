#include "ui/services/data_paths.h"

DataPathsState DataPaths = {};
