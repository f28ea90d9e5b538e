// The program's start-up sequence and its guarded block.
#pragma once

#include "app/Platform.h"

extern const char kApplicationTitle[];  // "Bravelle"

// Runs the program on the given platform until the main window closes; returns 0.
int RunApplication(Platform& platform);
