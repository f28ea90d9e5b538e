// Line rates that termios has no B-constant for (14400, 56000, 128000, 256000), set through termios2.
#pragma once

#include <cstdint>

// Both return false with errno set; GetCustomRate gives 0 when the line runs at a standard rate.
bool SetCustomRate(int fd, uint32_t rate);
bool GetCustomRate(int fd, uint32_t& rate);
