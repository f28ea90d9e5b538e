// The small windowing toolkit the forms are written against: Win32 controls in
// the program, a recording fake in the tests. All texts are CP1252 bytes, but
// for error messages, which are UTF-8 (see Error).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace ui {

// The toolkit's own French texts, the same in both languages; the file texts
// take the file's path for their "%s".
constexpr const char kErrorCaption[] = "Erreur";
constexpr const char kOkCaption[] = "OK";
constexpr const char kOpenFileError[] = "Impossible d'ouvrir le fichier %s";
constexpr const char kCreateFileError[] = "Impossible de cr\xE9" "er le fichier %s";

struct Bounds {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool operator==(const Bounds& o) const {
    return Left == o.Left && Top == o.Top && Width == o.Width && Height == o.Height;
  }
};

// The toolkit's exception family. An Error that leaves an event handler is shown
// by the toolkit in the application's error box and the program goes on. Its
// message is UTF-8: it may name a file whose path no single-byte code page can
// spell (a user name in another script).
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text the application's error box shows for an exception message: a full
// stop is appended unless the message is empty or already ends in "." or a
// character whose code is not above that of ".".
std::string ErrorBoxText(const std::string& message);

// Event handlers stored in controls. A handler may run modal loops.
using Handler = std::function<void()>;

class Control {
 public:
  virtual ~Control() = default;
  virtual void SetCaption(const std::string& text) = 0;
  virtual std::string Caption() const = 0;
  virtual void SetBounds(const Bounds& b) = 0;
  virtual Bounds GetBounds() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool IsEnabled() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual bool IsVisible() const = 0;

  // Convenience setters on top of GetBounds/SetBounds.
  void SetLeft(int v) { auto b = GetBounds(); b.Left = v; SetBounds(b); }
  void SetTop(int v) { auto b = GetBounds(); b.Top = v; SetBounds(b); }
  void SetWidth(int v) { auto b = GetBounds(); b.Width = v; SetBounds(b); }
  void SetHeight(int v) { auto b = GetBounds(); b.Height = v; SetBounds(b); }
};

class Button : public Control {
 public:
  Handler OnClick;
  // A default button is pressed by Enter.
  virtual void SetDefault(bool isDefault) = 0;
};

// Multi-line text pane with a vertical scroll bar and word wrap; the user may type into it.
class Memo : public Control {
 public:
  virtual void Clear() = 0;
  virtual void AppendLine(const std::string& line) = 0;
  virtual std::vector<std::string> Lines() const = 0;
};

// A group box holding one radio button per item, laid out in columns.
class RadioGroup : public Control {
 public:
  Handler OnClick;  // the user highlighted an item
  virtual void SetItems(const std::vector<std::string>& items) = 0;
  virtual std::vector<std::string> Items() const = 0;
  // Clamped into -1 .. item count - 1; -1 highlights nothing.
  virtual void SetItemIndex(int index) = 0;
  virtual int ItemIndex() const = 0;
  // Clamped into 1 .. 16.
  virtual void SetColumns(int columns) = 0;
  virtual int Columns() const = 0;
  // Font height in the toolkit's convention (negative: character height in pixels).
  virtual int FontHeight() const = 0;
};

class Timer {
 public:
  virtual ~Timer() = default;
  Handler OnTimer;
  // A new interval restarts the period.
  virtual void SetInterval(uint32_t milliseconds) = 0;
  virtual uint32_t Interval() const = 0;
  virtual void SetEnabled(bool running) = 0;
  virtual bool IsEnabled() const = 0;
};

struct FormStyle {
  int ClientWidth = 0;
  int ClientHeight = 0;
  bool CloseBox = true;      // dialog frame: fixed size, close box, no minimize/maximize
  bool StayOnTop = false;
  bool AutoSize = false;     // size the form around its controls, with BorderWidth around them
  int BorderWidth = 0;
  std::string FontName = "MS Sans Serif";
  int FontHeight = -11;
};

// A message the form posts to itself: message number and its two parameters.
struct Message {
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
};

// A top-level window. Controls are created by the form and live as long as it.
// The form's Caption is the window caption; its Bounds are the outer window rectangle.
class Form : public Control {
 public:
  Handler OnShow;     // each time the form is shown
  Handler OnDestroy;  // when the form is destroyed
  // Return true when the message was handled; unhandled ones go to the toolkit.
  std::function<bool(const Message&)> OnMessage;
  // The user's session ends (log off, shut down): the system may end the
  // program as soon as this returns, so whatever must be undone is undone here.
  Handler OnSessionEnd;
  // The user picked the form's own entry of its system menu.
  Handler OnSystemMenuItem;

  virtual Button& CreateButton(const Bounds& b, const std::string& caption) = 0;
  virtual Memo& CreateMemo(const Bounds& b) = 0;
  virtual RadioGroup& CreateRadioGroup(const Bounds& b, const std::string& caption) = 0;
  virtual Timer& CreateTimer() = 0;

  // Pixel width of a text in the form's font.
  virtual int TextWidth(const std::string& text) const = 0;
  // Shows the form modally: returns once Close() ran or the user closed it.
  virtual void ShowModal() = 0;
  virtual void Close() = 0;
  // Queued and delivered to OnMessage by the message loop (PostMessageA).
  virtual void PostMessage(const Message& m) = 0;
  // Resize to the controls (for AutoSize forms after a layout change).
  virtual void SizeToControls() = 0;
  // While the text is not empty, the system shows it as the reason why the
  // program would rather finish its work before the session ends; an empty
  // text withdraws it.
  virtual void SetSessionEndReason(const std::string& text) = 0;
  // One entry of the form's own at the end of its system menu (the menu of the window's icon, Alt+Space),
  // with this caption; a new caption replaces the old one.
  virtual void SetSystemMenuItem(const std::string& caption) = 0;
};

constexpr uint32_t kBeepOk = 0;       // MB_OK
constexpr uint32_t kBeepError = 16;   // MB_ICONHAND

class Toolkit {
 public:
  virtual ~Toolkit() = default;
  // The application title, shown in the taskbar and as caption of ShowApplicationError.
  virtual void SetTitle(const std::string& title) = 0;
  virtual std::string Title() const = 0;
  // The first form created becomes the main form; owner may be null.
  virtual std::unique_ptr<Form> CreateForm(const FormStyle& style, Form* owner) = 0;
  // Shows the main form and runs the message loop until it closes.
  virtual void Run(Form& mainForm) = 0;
  // Modal box, error icon, caption "Erreur", one button "OK". It belongs to the
  // form that raises it (owner), so that it stands in front of that form even
  // when the form stays on top of other windows.
  virtual void ShowErrorBox(const std::string& text, Form* owner) = 0;
  // Modal box, error icon, the application title as caption, one button OK;
  // text is an error message (UTF-8). It belongs to the form the user works in.
  virtual void ShowApplicationError(const std::string& text) = 0;
  virtual void Beep(uint32_t type) = 0;
  // Runs the handlers of what other threads and programs sent to the windows (the system's end of the
  // session among them), and nothing else: a handler that keeps the thread busy calls it now and then, so
  // that they need not wait for it. Posted messages, input and timers wait for the message loop.
  virtual void LetSentMessagesIn() = 0;
  // Shows a folder (a UTF-8 path) in the system's file browser; false when it cannot.
  virtual bool OpenFolder(const std::string& path) = 0;
};

}  // namespace ui
