// <windows.h> for the Windows backends, minus the macros that would rename members of portable interfaces.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// ui::Form::PostMessage and SettingsStorage::CreateFile would otherwise become
// PostMessageA and CreateFileA in some translation units and not in others.
// The backends call the functions by their full names (the wide ones, ...W).
#undef PostMessage
#undef CreateFile
