// Time per scan of the serial port list by the port dialog, over the real registry under Wine.
//
// TConfPort::ScanPorts reads HKLM\HARDWARE\DEVICEMAP\SERIALCOMM through
// Win32PortRegistry and sorts with Win32TextLocale, exactly as in the program;
// the dialog's form comes from the recording toolkit, since a scan touches no
// window. Whoever runs this puts the values to be scanned into the key first.
//
// usage: registry_scan_bench [SCANS]   (default 200)
//
// The last line is for scripts:
//   RESULT values=<n> ports=<n> first_ms=<x> median_ms=<x> mean_ms=<x> min_ms=<x> max_ms=<x>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "bench/Median.h"
#include "forms/TConfigurationPort.h"
#include "tests/support/FakeToolkit.h"
#include "win32/Win32PortRegistry.h"

namespace {

using Clock_ = std::chrono::steady_clock;

double MsSince(Clock_::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock_::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int scans = argc > 1 ? std::atoi(argv[1]) : 200;
  if (scans < 1) {
    std::fprintf(stderr, "usage: registry_scan_bench [SCANS]\n");
    return 2;
  }

  Win32PortRegistry registry;
  Win32TextLocale locale;
  fake::FakeToolkit toolkit;

  // How many values the key holds, read once on the side.
  uint32_t values = 0;
  uint32_t maxName = 0;
  if (!registry.OpenKey("HARDWARE\\DEVICEMAP\\SERIALCOMM") || !registry.QueryInfo(values, maxName)) {
    std::fprintf(stderr, "registry_scan_bench: SERIALCOMM cannot be read\n");
    return 1;
  }
  registry.CloseKey();

  TConfPort dialog(toolkit, nullptr, registry, locale);

  // The first scan pays for the key's first opening in this process; it is shown apart.
  Clock_::time_point t0 = Clock_::now();
  if (!dialog.ScanPorts()) {
    std::fprintf(stderr, "registry_scan_bench: ScanPorts failed\n");
    return 1;
  }
  const double first = MsSince(t0);
  const size_t ports = dialog.PortList().size();

  std::vector<double> times;
  times.reserve(static_cast<size_t>(scans));
  for (int i = 0; i < scans; ++i) {
    t0 = Clock_::now();
    const bool ok = dialog.ScanPorts();
    times.push_back(MsSince(t0));
    if (!ok || dialog.PortList().size() != ports) {
      std::fprintf(stderr, "registry_scan_bench: scan %d found %u ports instead of %u\n", i + 1,
                   static_cast<unsigned>(dialog.PortList().size()), static_cast<unsigned>(ports));
      return 1;
    }
  }

  const double median = Median(times);
  const double mean = std::accumulate(times.begin(), times.end(), 0.0) / static_cast<double>(times.size());
  const double low = *std::min_element(times.begin(), times.end());
  const double high = *std::max_element(times.begin(), times.end());
  std::printf("SERIALCOMM holds %u values, the dialog lists %u ports, selected port COM%d\n",
              static_cast<unsigned>(values), static_cast<unsigned>(ports),
              static_cast<int>(dialog.PortNumber()));
  std::printf("%d scans: median %.3f ms, mean %.3f ms, min %.3f ms, max %.3f ms; first scan %.3f ms\n", scans,
              median, mean, low, high, first);
  std::printf("RESULT values=%u ports=%u first_ms=%.4f median_ms=%.4f mean_ms=%.4f min_ms=%.4f max_ms=%.4f\n",
              static_cast<unsigned>(values), static_cast<unsigned>(ports), first, median, mean, low, high);
  return 0;
}
