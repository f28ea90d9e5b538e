// TConfPort: the serial port list from the registry, the automatic choice and the selection dialog.
#include "forms/TConfigurationPort.h"

#include <algorithm>
#include <cstddef>

#include "app/text/TextCatalogue.h"

namespace {

// Counted from the root of HKEY_LOCAL_MACHINE; the registry wants it without the leading backslash.
constexpr const char kSerialCommKey[] = "\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
// The device name the Silicon Labs CP210x bridge driver gives its ports: our units ship with one.
constexpr const char kPreferredDriver[] = "Silabser";
constexpr const char kMarkSeparator[] = " : ";
constexpr const char kMark[] = "KORVANE";

// The toolkit hands messages the form leaves unhandled to the system, which closes the window on this one.
constexpr uint32_t kWmClose = 0x0010;

// The dialog font gives 13-pixel rows; one column holds ten ports before another is opened.
constexpr int kPortsPerColumn = 10;
constexpr int kColumnWidth = 150;
constexpr int kFullRows = 12;
constexpr int kButtonGap = 10;
constexpr int kButtonHeight = 25;

std::string RelativeToRoot(const char* path) {
  std::string s(path);
  if (!s.empty() && s[0] == '\\') s.erase(0, 1);
  return s;
}

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

const std::vector<std::string>& EmptyList() {
  static const std::vector<std::string> empty;
  return empty;
}

}  // namespace

TConfPort::TConfPort(ui::Toolkit& toolkit, ui::Form* owner, PortRegistry& registry, const TextLocale& locale)
    : toolkit_(toolkit), registry_(registry), locale_(locale) {
  ui::FormStyle style;
  style.ClientWidth = 251;
  style.ClientHeight = 49;
  style.CloseBox = true;
  style.StayOnTop = true;
  style.AutoSize = true;
  style.BorderWidth = 10;
  style.FontName = "MS Sans Serif";
  style.FontHeight = -11;
  form_ = toolkit_.CreateForm(style, owner);
  form_->SetCaption("ConfPort");
  // Created in tab order; the layout captions are replaced by RefreshCaptions below.
  Validation = &form_->CreateButton({0, 24, 97, 25}, "Validation");
  RadioGroupPortSerie = &form_->CreateRadioGroup({3, 0, 89, 17}, "RadioGroupPortSerie");
  ButtonRecherchePort = &form_->CreateButton({104, 24, 147, 25}, "ButtonRecherchePort");

  FLanguage = 0;
  RefreshCaptions();
  ButtonRecherchePort->SetHeight(kButtonHeight);
  Validation->SetHeight(kButtonHeight);
  FPortNumber = 0;
  FSelectedIndex = -1;
  FPortList = std::make_unique<std::vector<std::string>>();

  // Handlers are bound last so that nothing the toolkit fires while the form
  // is being put together reaches a half-built dialog.
  form_->OnShow = [this] { FormShow(); };
  form_->OnDestroy = [this] { FormDestroy(); };
  Validation->OnClick = [this] { ValidationClick(); };
  ButtonRecherchePort->OnClick = [this] { FormShow(); };
}

TConfPort::~TConfPort() {
  // Destroying the form runs FormDestroy while the rest of the dialog still exists.
  form_.reset();
}

const std::vector<std::string>& TConfPort::PortList() const { return FPortList ? *FPortList : EmptyList(); }

void TConfPort::InsertSorted(const std::string& entry) {
  auto& list = *FPortList;
  auto at = std::lower_bound(list.begin(), list.end(), entry, [this](const std::string& a, const std::string& b) {
    return locale_.Compare(a, b) < 0;
  });
  // An entry the locale finds equal to one already listed is the same port seen twice.
  if (at != list.end() && locale_.Compare(*at, entry) == 0) return;
  list.insert(at, entry);
}

bool TConfPort::ScanPorts() {
  const int32_t previous = FPortNumber;
  // The list only disappears with the form; a scan after that finds nothing to fill.
  if (!FPortList) {
    FPortNumber = 0;
    return false;
  }
  FPortList->clear();

  OpenKeyGuard key(registry_);
  std::vector<std::string> names;

  const std::string subkey = RelativeToRoot(kSerialCommKey);
  if (!registry_.KeyExists(subkey)) {
    FPortNumber = 0;
    return true;
  }
  // A key that will not open shows up as a failed information query.
  registry_.OpenKey(subkey);
  uint32_t valueCount = 0;
  uint32_t maxNameLength = 0;
  if (!registry_.QueryInfo(valueCount, maxNameLength)) {
    FPortNumber = 0;
    return false;
  }

  const uint32_t nameCapacity = maxNameLength < UINT32_MAX ? maxNameLength + 1 : maxNameLength;
  for (uint32_t i = 0; i < valueCount; ++i) {
    std::string name;
    // A value removed since the information query has no name to give; it is no port.
    if (registry_.EnumValueName(i, nameCapacity, name)) names.push_back(name);
  }
  if (names.empty()) {
    FPortNumber = 0;
    return true;
  }

  for (const std::string& name : names) {
    uint32_t type = 0;
    if (!registry_.QueryValueType(name, type)) continue;
    if (type != kRegSz && type != kRegExpandSz) continue;
    std::string entry;
    // Gone between the two queries: nothing to list.
    if (!registry_.QueryValueText(name, entry)) continue;
    if (Contains(name, kPreferredDriver)) {
      entry += kMarkSeparator;
      entry += kMark;
    }
    InsertSorted(entry);
  }
  const auto& list = *FPortList;
  if (list.empty()) {
    FPortNumber = 0;
    return true;
  }

  // A marked port wins; otherwise the port chosen before, wherever it now sorts.
  FSelectedIndex = -1;
  int32_t match = -1;
  for (size_t i = 0; i < list.size(); ++i) {
    if (Contains(list[i], kMark)) {
      FSelectedIndex = static_cast<int32_t>(i);
      break;
    }
    if (ParsePortNumber(list[i]) == previous) match = static_cast<int32_t>(i);
  }
  if (FSelectedIndex < 0) FSelectedIndex = match >= 0 ? match : 0;
  FPortNumber = ParsePortNumber(list[static_cast<size_t>(FSelectedIndex)]);
  return true;
}

int32_t TConfPort::ParsePortNumber(const std::string& text) const {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) < 33) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) < 33) --last;
  const std::string upper = locale_.Upper(text.substr(first, last - first));

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

int32_t TConfPort::PortNumber() {
  if (FPortNumber <= 0) ScanPorts();
  return FPortNumber;
}

bool TConfPort::PortChanged() {
  const int32_t before = FPortNumber;
  const bool scanned = ScanPorts();
  return scanned && FPortNumber != before;
}

bool TConfPort::IsPreferredPort() {
  if (FPortNumber <= 0) ScanPorts();
  if (FPortNumber == 0) return false;
  const auto& list = PortList();
  // A choice made in the dialog can point past a list that a later scan shortened.
  if (FSelectedIndex < 0 || static_cast<size_t>(FSelectedIndex) >= list.size()) return false;
  return Contains(list[static_cast<size_t>(FSelectedIndex)], kMark);
}

bool TConfPort::HasPort() const { return FPortNumber != 0; }

void TConfPort::SetLanguage(uint32_t index) {
  if (index == FLanguage || index >= 2) return;
  FLanguage = index;
  RefreshCaptions();
}

void TConfPort::RefreshCaptions() {
  form_->SetCaption(Text(TXT_PORT_DLG_TITLE, FLanguage));
  RadioGroupPortSerie->SetCaption(Text(TXT_PORT_GROUP, FLanguage));
  Validation->SetCaption(Text(TXT_PORT_VALIDATE, FLanguage));
  ButtonRecherchePort->SetCaption(Text(TXT_PORT_SEARCH, FLanguage));
}

void TConfPort::ShowModal() { form_->ShowModal(); }

ui::Form& TConfPort::Form() { return *form_; }

void TConfPort::FormShow() {
  if (!ScanPorts()) {
    toolkit_.ShowErrorBox(Text(TXT_NO_PORT));
    // Posted rather than closing at once: the dialog may still be on its way up.
    form_->PostMessage(ui::Message{kWmClose, 0, 0});
    return;
  }
  const auto& list = PortList();
  RadioGroupPortSerie->SetItems(list);
  RadioGroupPortSerie->SetItemIndex(FSelectedIndex);

  const int count = static_cast<int>(list.size());
  // Whole tens in integers: n * 0.1 in floating point lies just above 3 for n = 30 and would round up to 4.
  const int columns = (count + kPortsPerColumn - 1) / kPortsPerColumn;
  RadioGroupPortSerie->SetColumns(columns);
  // One column grows with its ports (plus the caption and a margin); several are always full height.
  const int rows = columns == 1 ? count + 2 : kFullRows;
  const int height = rows * (2 - RadioGroupPortSerie->FontHeight()) + RadioGroupPortSerie->GetBounds().Top;
  Validation->SetTop(height + kButtonGap);
  ButtonRecherchePort->SetTop(Validation->GetBounds().Top);
  RadioGroupPortSerie->SetHeight(height);
  // The width follows the columns asked for, not the ones the group kept.
  RadioGroupPortSerie->SetWidth(columns * kColumnWidth);
  form_->SizeToControls();
}

void TConfPort::ValidationClick() {
  // The group's items are those of the last show; a scan since then may have changed the list.
  const int index = RadioGroupPortSerie->ItemIndex();
  const std::vector<std::string> items = RadioGroupPortSerie->Items();
  std::string text;
  if (index >= 0 && static_cast<size_t>(index) < items.size()) text = items[static_cast<size_t>(index)];
  FPortNumber = ParsePortNumber(text);
  FSelectedIndex = RadioGroupPortSerie->ItemIndex();
  form_->Close();
}

void TConfPort::FormDestroy() { FPortList.reset(); }
