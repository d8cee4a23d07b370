#include "qirLauncher.h"

qirLauncher::~qirLauncher() {}
