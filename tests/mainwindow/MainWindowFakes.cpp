// The main window's test rig: the window on the shared fakes, with the scripted unit behind COM4.
#include "tests/mainwindow/MainWindowFakes.h"

namespace mw {

Rig::Rig() {
  Registry.Add("\\Device\\Serial0", "COM1");
  Registry.Add("\\Device\\Silabser0", "COM4");
}

Rig::~Rig() { Window.reset(); }

TDlgLectureInformation& Rig::Start() {
  Window = std::make_unique<TDlgLectureInformation>(Toolkit, Unit, Ticks, Registry, Locale, Storage, Journal);
  return *Window;
}

fake::FakeForm& Rig::MainForm() const { return static_cast<fake::FakeForm&>(Window->Form()); }
fake::FakeTimer& Rig::Timer() const { return static_cast<fake::FakeTimer&>(Window->TimerGestConnection); }
fake::FakeButton& Rig::Read() const { return static_cast<fake::FakeButton&>(Window->ButtonLectureInfo); }
fake::FakeButton& Rig::Port() const { return static_cast<fake::FakeButton&>(Window->ButtonConfigPort); }
fake::FakeButton& Rig::Language() const { return static_cast<fake::FakeButton&>(Window->ButtonChoixLangue); }
fake::FakeButton& Rig::Quit() const { return static_cast<fake::FakeButton&>(Window->ButtonQuitter); }

std::vector<std::string> Rig::Lines() const { return Window->MemoInformation.Lines(); }

std::vector<std::string> Rig::LinesFrom(size_t from) const {
  const std::vector<std::string> all = Lines();
  if (from >= all.size()) return {};
  return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
}

void Rig::Tick() {
  Timer().Fire();
  Toolkit.DeliverPosted();
}

int Rig::ReadToEnd(int maxTicks) {
  Read().Click();
  int ticks = 0;
  while (ticks < maxTicks && !Read().IsEnabled()) {
    Tick();
    ++ticks;
  }
  return ticks;
}

}  // namespace mw
