// reader: one complete reading of the unit from the command line, to try a port or a backend without the window.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "link/Com_p04.h"
#include "tools/reader/ReaderPlatform.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: reader [--port N] [--device PATH]\n"
               "  --port N       the port COMN (default 2)\n"
               "  --device PATH  where the platform allows it, use this device for the port\n");
  std::exit(2);
}

int Report(const char* step, int32_t status) {
  std::printf("%s: %ld\n", step, static_cast<long>(status));
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  long port = 2;
  const char* device = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      char* end = nullptr;
      port = std::strtol(argv[++i], &end, 10);
      if (*end != '\0') Usage();
    } else if (std::strcmp(argv[i], "--device") == 0 && i + 1 < argc) {
      device = argv[++i];
    } else {
      Usage();
    }
  }

  ReaderPlatform platform(device);
  int failed = 0;
  {
    TComP04 link(platform.Serial(), platform.Ticks());
    link.SetPortIndex(static_cast<int32_t>(port - 1));
    std::printf("Port: %s\n", link.PortName);
    // The same order as the window's reading sequence: stop at the first failure,
    // then free the unit.
    uint32_t serial = 0;
    int32_t circuit = 0;
    int32_t major = 0;
    int32_t minor = 0;
    if (Report("Connect", link.Connect(1)) == 0 && Report("CheckUnitType", link.CheckUnitType()) == 0 &&
        Report("ReadSerialNumber", link.ReadSerialNumber(serial)) == 0 &&
        Report("ReadCircuitVersion", link.ReadCircuitVersion(circuit)) == 0 &&
        Report("ReadSoftwareVersion", link.ReadSoftwareVersion(major, minor)) == 0) {
      std::printf("Device: %s\n", GetDeviceName().c_str());
      std::printf("Serial number: %lu\n", static_cast<unsigned long>(serial));
      std::printf("Circuit version: %ld\n", static_cast<long>(circuit));
      std::printf("Software version: %ld.%ld\n", static_cast<long>(major), static_cast<long>(minor));
    } else {
      failed = 1;
    }
    if (Report("Release", link.Release()) != 0) failed = 1;
    std::fflush(stdout);
  }  // the link's destructor releases the unit once more and closes the port
  return failed;
}
