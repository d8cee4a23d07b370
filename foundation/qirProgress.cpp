#include "qirProgress.h"

qirProgress* qirProgressReporter = nullptr;
