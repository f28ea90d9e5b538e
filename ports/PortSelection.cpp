// The serial port list from the registry, the selection walk and the port-number parser.
#include "ports/PortSelection.h"

#include <algorithm>
#include <cstddef>

const char kSerialCommKey[] = "\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char kPreferredDriver[] = "Silabser";
const char kPreferredMark[] = "KORVANE";

namespace {

constexpr const char kMarkSeparator[] = " : ";
// Linux's name for the CP210x driver, and Silicon Labs' USB vendor id.
constexpr const char kPreferredLinuxDriver[] = "cp210x";
constexpr const char kSiliconLabsVendor[] = "10c4";

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Closes whatever key the scan opened, on every way out of it.
class OpenKeyGuard {
 public:
  explicit OpenKeyGuard(PortRegistry& registry) : registry_(registry) {}
  ~OpenKeyGuard() { registry_.CloseKey(); }
  OpenKeyGuard(const OpenKeyGuard&) = delete;
  OpenKeyGuard& operator=(const OpenKeyGuard&) = delete;

 private:
  PortRegistry& registry_;
};

void InsertSorted(std::vector<PortListEntry>& list, PortListEntry entry, const TextLocale& locale) {
  auto at = std::lower_bound(list.begin(), list.end(), entry,
                             [&locale](const PortListEntry& a, const PortListEntry& b) {
                               return locale.Compare(a.Text, b.Text) < 0;
                             });
  // An entry the locale finds equal to one already listed is the same port seen twice.
  if (at != list.end() && locale.Compare(at->Text, entry.Text) == 0) return;
  list.insert(at, std::move(entry));
}

}  // namespace

PortListResult ReadPortList(PortRegistry& registry, const TextLocale& locale,
                            std::vector<PortListEntry>& entries) {
  entries.clear();
  OpenKeyGuard key(registry);
  // The registry wants the path without its leading backslash.
  const std::string subkey = std::string(kSerialCommKey).substr(1);
  if (!registry.KeyExists(subkey)) return PortListResult::Listed;
  // A key that will not open shows up as a failed information query.
  registry.OpenKey(subkey);
  uint32_t valueCount = 0;
  uint32_t maxNameLength = 0;
  if (!registry.QueryInfo(valueCount, maxNameLength)) return PortListResult::Unreadable;

  std::vector<std::string> names;
  const uint32_t nameCapacity = maxNameLength < UINT32_MAX ? maxNameLength + 1 : maxNameLength;
  for (uint32_t i = 0; i < valueCount; ++i) {
    std::string name;
    // A value removed since the information query has no name to give; it is no port.
    if (registry.EnumValueName(i, nameCapacity, name)) names.push_back(name);
  }
  for (const std::string& name : names) {
    uint32_t type = 0;
    if (!registry.QueryValueType(name, type)) continue;
    if (type != kRegSz && type != kRegExpandSz) continue;
    PortListEntry entry;
    // Gone between the two queries: nothing to list.
    if (!registry.QueryValueText(name, entry.Port)) continue;
    entry.ValueName = name;
    entry.Text = entry.Port;
    if (Contains(name, kPreferredDriver)) {
      entry.Text += kMarkSeparator;
      entry.Text += kPreferredMark;
    }
    // The mark decides, as in the dialog, even when a port's own name carries it.
    entry.Preferred = IsPreferredEntry(entry.Text);
    InsertSorted(entries, std::move(entry), locale);
  }
  return PortListResult::Listed;
}

bool IsPreferredEntry(const std::string& text) { return Contains(text, kPreferredMark); }

int32_t ParsePortNumber(const std::string& text, const TextLocale& locale) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) < 33) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) < 33) --last;
  const std::string upper = locale.Upper(text.substr(first, last - first));

  // Without "COM" the number is looked for from the third character, as in "XY12".
  const size_t com = upper.find("COM");
  const size_t start = com == std::string::npos ? 2 : com + 3;
  int64_t value = 0;
  bool tooLarge = false;
  size_t digits = 0;
  for (size_t i = start; i < upper.size() && upper[i] >= '0' && upper[i] <= '9'; ++i, ++digits) {
    // Leading zeros keep the value small, so only a value that left the range stops the sum.
    if (!tooLarge) {
      value = value * 10 + (upper[i] - '0');
      if (value > INT32_MAX) tooLarge = true;
    }
  }
  if (digits == 0 || tooLarge) return 0;
  return static_cast<int32_t>(value);
}

size_t SelectPortEntry(const std::vector<std::string>& texts, int32_t previous, const TextLocale& locale) {
  // A marked port wins; otherwise the port chosen before, wherever it now sorts.
  int64_t match = -1;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (IsPreferredEntry(texts[i])) return i;
    if (ParsePortNumber(texts[i], locale) == previous) match = static_cast<int64_t>(i);
  }
  return match >= 0 ? static_cast<size_t>(match) : 0;
}

AutoPortResult AutoPortEntry(const std::vector<AutoCandidate>& ports, size_t& chosen) {
  size_t preferred = 0, others = 0, firstPreferred = 0, firstOther = 0;
  for (size_t i = 0; i < ports.size(); ++i) {
    if (ports[i].NotForAuto) continue;
    if (ports[i].Preferred && preferred++ == 0) firstPreferred = i;
    if (!ports[i].Preferred && others++ == 0) firstOther = i;
  }
  if (preferred > 1) return AutoPortResult::SeveralPreferred;
  if (preferred == 1) {
    chosen = firstPreferred;
    return AutoPortResult::Chosen;
  }
  if (others > 1) return AutoPortResult::SeveralOthers;
  if (others == 0) return AutoPortResult::None;
  chosen = firstOther;
  return AutoPortResult::Chosen;
}

AutoPortResult AutoPortEntry(const std::vector<PortInfo>& ports, size_t& chosen) {
  std::vector<AutoCandidate> candidates;
  for (const PortInfo& p : ports) candidates.push_back({p.Preferred, p.Console});
  return AutoPortEntry(candidates, chosen);
}

bool HasPreferredDriver(const PortInfo& port) {
  if (port.Driver.empty()) return port.Vid == kSiliconLabsVendor;
  return port.Driver == kPreferredLinuxDriver || Contains(port.Driver, kPreferredDriver);
}

bool ListPorts(PortLister& lister, std::vector<PortInfo>& ports) {
  ports.clear();
  if (!lister.ListPorts(ports)) return false;
  for (PortInfo& p : ports) p.Preferred = HasPreferredDriver(p);
  std::stable_sort(ports.begin(), ports.end(),
                   [](const PortInfo& a, const PortInfo& b) { return NaturalLess(a.Port, b.Port); });
  return true;
}

bool IsComName(const std::string& name) {
  const size_t start = name.compare(0, 4, "\\\\.\\") == 0 ? 4 : 0;
  if (name.size() < start + 4) return false;
  for (size_t i = 0; i < 3; ++i)
    if ((name[start + i] & ~0x20) != "COM"[i]) return false;
  for (size_t i = start + 3; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

std::string ComName(const std::string& port) {
  return port.compare(0, 4, "\\\\.\\") == 0 && IsComName(port) ? port.substr(4) : port;
}

bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = a[i] >= '0' && a[i] <= '9';
    const bool db = b[j] >= '0' && b[j] <= '9';
    if (da && db) {
      // Runs of digits by value: without their leading zeros, the longer is the larger.
      size_t ea = i, eb = j;
      while (ea < a.size() && a[ea] >= '0' && a[ea] <= '9') ++ea;
      while (eb < b.size() && b[eb] >= '0' && b[eb] <= '9') ++eb;
      size_t za = i, zb = j;
      while (za + 1 < ea && a[za] == '0') ++za;
      while (zb + 1 < eb && b[zb] == '0') ++zb;
      if (ea - za != eb - zb) return ea - za < eb - zb;
      const int c = a.compare(za, ea - za, b, zb, eb - zb);
      if (c != 0) return c < 0;
      i = ea;
      j = eb;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
  // Equal by value ("ttyS01" and "ttyS1"): the byte order decides, so the order is total.
  return a < b;
}
