// Random bytes and the station's name from the page.
#include "web/WebIdentity.h"

#include <emscripten.h>

#include <cstdlib>

EM_JS(int, page_random, (uint8_t * bytes, int count), {
  if (!self.crypto || !self.crypto.getRandomValues) return 0;
  self.crypto.getRandomValues(HEAPU8.subarray(bytes, bytes + count));
  return 1;
});

// The name kept in localStorage; where the browser keeps nothing, one for as long as the page is open.
EM_JS(char*, page_station, (), {
  let name = null;
  try {
    name = localStorage.getItem("bravelle-station");
  } catch (e) {
  }
  if (!name) {
    const bytes = new Uint8Array(4);
    self.crypto.getRandomValues(bytes);
    // No arrow function here: the formatter would part its "=>".
    let hex = "";
    for (const b of bytes) hex += b.toString(16).padStart(2, "0");
    name = Module.station || "web-" + hex;
    Module.station = name;
    try {
      localStorage.setItem("bravelle-station", name);
    } catch (e) {
    }
  }
  const size = lengthBytesUTF8(name) + 1;
  const text = _malloc(size);
  stringToUTF8(name, text, size);
  return text;
});

bool WebIdentity::RandomBytes(uint8_t* bytes, size_t count) {
  return page_random(bytes, static_cast<int>(count)) != 0;
}

std::string WebIdentity::HostName() {
  char* name = page_station();
  std::string out = name != nullptr ? name : "";
  free(name);
  return out;
}
