// performance.now() in whole milliseconds, and emscripten_sleep, which yields to the browser.
#include "web/WebClock.h"

#include <emscripten.h>

uint32_t WebClock::TickCount() { return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now())); }

void WebClock::Sleep(uint32_t milliseconds) { emscripten_sleep(milliseconds); }
