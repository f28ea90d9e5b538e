// Fuzz target: the port scan over a registry whose values (names, types, data) come from the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "forms/TConfigurationPort.h"
#include "tests/support/FakePortRegistry.h"
#include "tests/support/FakeToolkit.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// Splits the input into values: each is a control byte (type, failures), a
// name and a data text, the two texts ended by a 0xFF byte or the input's end.
void Fill(fake::FakePortRegistry& registry, const uint8_t* data, size_t size) {
  size_t i = 0;
  auto text = [&]() {
    std::string s;
    while (i < size && data[i] != 0xFF) s.push_back(static_cast<char>(data[i++]));
    if (i < size) ++i;
    return s;
  };
  if (size > 0) {
    registry.KeyPresent = (data[0] & 1) == 0;
    registry.FailQueryInfo = (data[0] & 2) != 0 && (data[0] & 4) != 0;
    if (data[0] & 8) registry.ReportedMaxNameLength = data[0] >> 4;
    ++i;
  }
  while (i < size && registry.Values.size() < 64) {
    const uint8_t control = data[i++];
    const std::string name = text();
    // The registry backends hand over the data up to its first NUL byte.
    std::string value = text();
    value = value.substr(0, value.find('\0'));
    const uint32_t types[] = {kRegSz,          kRegExpandSz,      fake::kRegBinary,
                              fake::kRegDword, fake::kRegMultiSz, kRegSz};
    registry.Add(control & 0x10 ? name + "Silabser" : name, value, types[control % 6]);
    if (control & 0x20) registry.FailTypeOf.insert(name);
    if (control & 0x40) registry.FailTextOf.insert(name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fake::FakeToolkit toolkit;
  fake::FakePortRegistry registry;
  fake::FakeTextLocale locale;
  Fill(registry, data, size);
  TConfPort dialog(toolkit, nullptr, registry, locale);
  for (int scan = 0; scan < 2; ++scan) {
    const bool ok = dialog.ScanPorts();
    const auto& list = dialog.PortList();
    // Sorted, without duplicates, each entry a value's text (marked or not).
    for (size_t k = 1; k < list.size(); ++k) Require(locale.Compare(list[k - 1], list[k]) < 0);
    for (const std::string& entry : list) {
      bool found = false;
      for (const auto& v : registry.Values)
        found = found || entry == v.Text || entry == v.Text + " : KORVANE";
      Require(found);
    }
    const int32_t port = dialog.PortNumber();
    Require(port >= 0);
    if (ok && !list.empty()) {
      const int32_t index = dialog.SelectedIndex();
      Require(index >= 0 && static_cast<size_t>(index) < list.size());
      Require(port == dialog.ParsePortNumber(list[static_cast<size_t>(index)]));
      Require(dialog.IsPreferredPort() ==
              (port != 0 && list[static_cast<size_t>(index)].find("KORVANE") != std::string::npos));
    }
    Require(dialog.HasPort() == (port != 0));
    Require(!registry.Open);  // the key is closed again on every path
  }
  return 0;
}
