// GetTickCount and Sleep behind the Clock seam.
#include "win32/Win32Clock.h"

#include "win32/WindowsApi.h"

uint32_t Win32Clock::TickCount() { return GetTickCount(); }

void Win32Clock::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }
