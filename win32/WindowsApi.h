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
// The toolkit calls the ANSI functions by their full names.
#undef PostMessage
#undef CreateFile
