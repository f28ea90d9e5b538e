// automate: a command server run under Wine that drives Bravelle.exe for the end-to-end tests.
//
// One command per line on stdin, one JSON object per line on stdout. Texts travel
// as hexadecimal bytes in both directions ("-" stands for an empty or absent text):
// window texts are read as UTF-16 and reported in UTF-8, whatever the ANSI code
// page of the prefix; texts to look for (captions, button texts) and paths come
// in code page 1252, but attrib's path in UTF-8. Handles and ids are decimal. The harness keeps one server
// for a whole test because every Wine process start costs about half a second.
#include <windows.h>
// clang-format off
#include <sddl.h>
#include <tlhelp32.h>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Cross-process messages go through SendMessageTimeout: a program that blocks
// in a serial call for a second or two must not hang the harness for good.
constexpr UINT kSendTimeoutMs = 4000;
constexpr DWORD kPollMs = 15;

std::map<DWORD, HANDLE> g_processes;
std::map<std::string, HANDLE> g_locks;

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

bool Unhex(const std::string& text, std::string* out) {
  out->clear();
  if (text == "-") return true;
  if (text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    char pair[3] = {text[i], text[i + 1], 0};
    char* end = nullptr;
    long v = std::strtol(pair, &end, 16);
    if (end != pair + 2) return false;
    *out += static_cast<char>(v);
  }
  return true;
}

// JSON string for texts that are plain ASCII by nature (class names, keys).
std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string HexField(const std::string& bytes) { return "\"" + Hex(bytes) + "\""; }

std::string Num(long long v) { return std::to_string(v); }

std::string Handle(HWND h) { return Num(static_cast<long long>(reinterpret_cast<uintptr_t>(h))); }

HWND ToHwnd(const std::string& s) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(s.c_str(), nullptr, 10)));
}

std::string Rect(const RECT& r) {
  return "[" + Num(r.left) + "," + Num(r.top) + "," + Num(r.right) + "," + Num(r.bottom) + "]";
}

std::string Ok(const std::string& fields = "") {
  return fields.empty() ? "{\"ok\":true}" : "{\"ok\":true," + fields + "}";
}

std::string Fail(const std::string& why) { return "{\"ok\":false,\"error\":" + Quote(why) + "}"; }

std::string LastErrorText(const char* what) { return std::string(what) + " failed, error " + Num(GetLastError()); }

std::string ClassOf(HWND h) {
  char buf[256] = {};
  GetClassNameA(h, buf, sizeof buf);
  return buf;
}

std::wstring FromCodePage(UINT codePage, const std::string& text) {
  if (text.empty()) return std::wstring();
  std::wstring wide(text.size(), L'\0');
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                              static_cast<int>(wide.size()));
  wide.resize(n > 0 ? n : 0);
  return wide;
}

std::string ToCodePage(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) return std::string();
  std::string out(wide.size() * 4, '\0');
  int n = WideCharToMultiByte(codePage, codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS, wide.data(),
                              static_cast<int>(wide.size()), &out[0], static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? n : 0);
  return out;
}

// WM_GETTEXT rather than GetWindowText: an edit control keeps its own buffer,
// which only the message reaches in another process. The wide message: the
// text as the window holds it, with no ANSI code page in between.
std::wstring WideTextOf(HWND h) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) {
    wchar_t buf[1024] = {};
    int n = GetWindowTextW(h, buf, 1024);
    return std::wstring(buf, n > 0 ? n : 0);
  }
  std::vector<wchar_t> buf(length + 2, 0);
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &copied);
  if (copied > buf.size()) copied = std::wcslen(buf.data());
  return std::wstring(buf.data(), copied);
}

// For comparing with a text the harness looks for, which comes in code page 1252.
std::string TextOf(HWND h) { return ToCodePage(1252, WideTextOf(h)); }

std::string TextField(HWND h) { return HexField(ToCodePage(CP_UTF8, WideTextOf(h))); }

DWORD PidOf(HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  return pid;
}

std::vector<HWND> TopLevel(DWORD pid) {
  struct Ctx {
    DWORD pid;
    std::vector<HWND> found;
  } ctx{pid, {}};
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(p);
        if (c->pid == 0 || PidOf(h) == c->pid) c->found.push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(
      parent,
      [](HWND h, LPARAM p) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string Bool(bool b) { return b ? "true" : "false"; }

std::string DescribeTop(HWND h) {
  RECT outer{}, client{};
  GetWindowRect(h, &outer);
  GetClientRect(h, &client);
  POINT origin{0, 0};
  ClientToScreen(h, &origin);
  return "{\"hwnd\":" + Handle(h) + ",\"class\":" + Quote(ClassOf(h)) + ",\"text\":" + TextField(h) +
         ",\"visible\":" + Bool(IsWindowVisible(h)) + ",\"enabled\":" + Bool(IsWindowEnabled(h)) +
         ",\"owner\":" + Handle(GetWindow(h, GW_OWNER)) + ",\"pid\":" + Num(PidOf(h)) + ",\"rect\":" + Rect(outer) +
         ",\"client\":[" + Num(client.right) + "," + Num(client.bottom) + "],\"client_origin\":[" + Num(origin.x) +
         "," + Num(origin.y) + "],\"style\":" + Num(static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE))) +
         ",\"exstyle\":" + Num(static_cast<DWORD>(GetWindowLongA(h, GWL_EXSTYLE))) + "}";
}

std::string DescribeChild(HWND h) {
  HWND parent = GetParent(h);
  RECT r{};
  GetWindowRect(h, &r);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  std::string cls = ClassOf(h);
  std::string checked = "null";
  if (lstrcmpiA(cls.c_str(), "Button") == 0) {
    DWORD_PTR state = 0;
    if (SendMessageTimeoutA(h, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state))
      checked = Num(static_cast<long long>(state));
  }
  return "{\"hwnd\":" + Handle(h) + ",\"parent\":" + Handle(parent) +
         ",\"id\":" + Num(static_cast<long long>(GetWindowLongPtrA(h, GWLP_ID))) + ",\"class\":" + Quote(cls) +
         ",\"text\":" + TextField(h) + ",\"visible\":" + Bool(IsWindowVisible(h)) +
         ",\"enabled\":" + Bool(IsWindowEnabled(h)) + ",\"x\":" + Num(r.left) + ",\"y\":" + Num(r.top) +
         ",\"w\":" + Num(r.right - r.left) + ",\"h\":" + Num(r.bottom - r.top) +
         ",\"style\":" + Num(static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE))) + ",\"checked\":" + checked + "}";
}

std::string List(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + items[i];
  return out + "]";
}

// A message box is a #32770 dialog whose message sits in the static with id 0xFFFF.
HWND MessageOf(HWND h) {
  if (ClassOf(h) != "#32770") return nullptr;
  for (HWND c : Descendants(h))
    if (GetDlgCtrlID(c) == 0xFFFF && lstrcmpiA(ClassOf(c).c_str(), "Static") == 0) return c;
  return nullptr;
}

bool IsMessageBox(HWND h) { return MessageOf(h) != nullptr; }

std::string DescribeMessageBox(HWND h) {
  std::vector<std::string> buttons;
  for (HWND c : Descendants(h)) {
    if (lstrcmpiA(ClassOf(c).c_str(), "Button") == 0)
      buttons.push_back("{\"hwnd\":" + Handle(c) + ",\"id\":" + Num(GetDlgCtrlID(c)) + ",\"text\":" +
                        TextField(c) + "}");
  }
  return "{\"hwnd\":" + Handle(h) + ",\"caption\":" + TextField(h) + ",\"text\":" + TextField(MessageOf(h)) +
         ",\"owner\":" + Handle(GetWindow(h, GW_OWNER)) + ",\"buttons\":" + List(buttons) + "}";
}

bool Matches(HWND h, bool anyClass, const std::string& cls, bool anyText, const std::string& text) {
  if (!IsWindowVisible(h)) return false;
  if (!anyClass && ClassOf(h) != cls) return false;
  if (!anyText && TextOf(h) != text) return false;
  return true;
}

HWND FirstVisible(DWORD pid) {
  for (HWND h : TopLevel(pid))
    if (IsWindowVisible(h)) return h;
  return nullptr;
}

HANDLE ProcessFor(const std::string& pidText, DWORD* pid) {
  *pid = static_cast<DWORD>(std::strtoul(pidText.c_str(), nullptr, 10));
  auto it = g_processes.find(*pid);
  return it == g_processes.end() ? nullptr : it->second;
}

// launch EXE CWD TIMEOUT: starts the program and waits for its first visible
// top-level window, which may be a message box when start-up fails.
std::string Launch(const std::vector<std::string>& a) {
  std::string exe, cwd;
  if (a.size() < 4 || !Unhex(a[1], &exe) || !Unhex(a[2], &cwd)) return Fail("usage: launch EXE CWD TIMEOUT");
  DWORD timeout = std::strtoul(a[3].c_str(), nullptr, 10);
  std::string cmdline = "\"" + exe + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<char> cmd(cmdline.begin(), cmdline.end());
  cmd.push_back(0);
  if (!CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.empty() ? nullptr : cwd.c_str(), &si, &pi))
    return Fail(LastErrorText("CreateProcess"));
  CloseHandle(pi.hThread);
  g_processes[pi.dwProcessId] = pi.hProcess;
  DWORD start = GetTickCount();
  WaitForInputIdle(pi.hProcess, timeout);
  for (;;) {
    if (HWND h = FirstVisible(pi.dwProcessId))
      return Ok("\"pid\":" + Num(pi.dwProcessId) + ",\"window\":" + Handle(h) + ",\"exited\":false");
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0 && GetExitCodeProcess(pi.hProcess, &code))
      return Ok("\"pid\":" + Num(pi.dwProcessId) + ",\"window\":0,\"exited\":true,\"code\":" + Num(code));
    if (GetTickCount() - start > timeout)
      return Ok("\"pid\":" + Num(pi.dwProcessId) + ",\"window\":0,\"exited\":false");
    Sleep(kPollMs);
  }
}

std::string Windows(const std::vector<std::string>& a) {
  DWORD pid = a.size() > 1 ? std::strtoul(a[1].c_str(), nullptr, 10) : 0;
  std::vector<std::string> items;
  for (HWND h : TopLevel(pid)) items.push_back(DescribeTop(h));
  return Ok("\"windows\":" + List(items));
}

std::string Children(const std::vector<std::string>& a) {
  if (a.size() < 2) return Fail("usage: children HWND");
  HWND top = ToHwnd(a[1]);
  if (!IsWindow(top)) return Fail("no such window");
  std::vector<std::string> items;
  for (HWND h : Descendants(top)) items.push_back(DescribeChild(h));
  return Ok("\"window\":" + DescribeTop(top) + ",\"children\":" + List(items));
}

std::string Text(const std::vector<std::string>& a) {
  if (a.size() < 2) return Fail("usage: text HWND");
  HWND h = ToHwnd(a[1]);
  if (!IsWindow(h)) return Fail("no such window");
  return Ok("\"text\":" + TextField(h));
}

// Posted, not sent: the click handlers run modal loops and would hold us up.
std::string Click(const std::vector<std::string>& a) {
  if (a.size() < 2) return Fail("usage: click HWND [TEXT]");
  HWND h = ToHwnd(a[1]);
  if (!IsWindow(h)) return Fail("no such window");
  if (a.size() > 2) {
    std::string text;
    if (!Unhex(a[2], &text)) return Fail("bad text");
    HWND found = nullptr;
    for (HWND c : Descendants(h))
      if (lstrcmpiA(ClassOf(c).c_str(), "Button") == 0 && TextOf(c) == text) {
        found = c;
        break;
      }
    if (!found) return Fail("no button with that text");
    h = found;
  }
  if (!PostMessageA(h, BM_CLICK, 0, 0)) return Fail(LastErrorText("PostMessage"));
  return Ok("\"hwnd\":" + Handle(h));
}

std::string MessageBoxes(const std::vector<std::string>& a) {
  DWORD pid = a.size() > 1 ? std::strtoul(a[1].c_str(), nullptr, 10) : 0;
  std::vector<std::string> items;
  for (HWND h : TopLevel(pid))
    if (IsWindowVisible(h) && IsMessageBox(h)) items.push_back(DescribeMessageBox(h));
  return Ok("\"boxes\":" + List(items));
}

std::string PressOk(const std::vector<std::string>& a) {
  if (a.size() < 2) return Fail("usage: pressok HWND");
  HWND box = ToHwnd(a[1]);
  if (!IsWindow(box)) return Fail("no such window");
  HWND ok = GetDlgItem(box, IDOK);
  if (ok) {
    PostMessageA(ok, BM_CLICK, 0, 0);
    return Ok("\"hwnd\":" + Handle(ok));
  }
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return Ok("\"hwnd\":0");
}

std::string Close(const std::vector<std::string>& a) {
  if (a.size() < 2) return Fail("usage: close HWND");
  HWND h = ToHwnd(a[1]);
  if (!PostMessageA(h, WM_CLOSE, 0, 0)) return Fail(LastErrorText("PostMessage"));
  return Ok();
}

// post/send HWND MSG WPARAM LPARAM: for whatever the commands above do not cover.
std::string Message(const std::vector<std::string>& a, bool post) {
  if (a.size() < 5) return Fail("usage: post|send HWND MSG WPARAM LPARAM");
  HWND h = ToHwnd(a[1]);
  UINT msg = std::strtoul(a[2].c_str(), nullptr, 0);
  WPARAM wp = std::strtoull(a[3].c_str(), nullptr, 0);
  LPARAM lp = std::strtoll(a[4].c_str(), nullptr, 0);
  if (post) {
    if (!PostMessageA(h, msg, wp, lp)) return Fail(LastErrorText("PostMessage"));
    return Ok();
  }
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(h, msg, wp, lp, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
    return Fail(LastErrorText("SendMessageTimeout"));
  return Ok("\"result\":" + Num(static_cast<long long>(result)));
}

// The window that holds the keyboard focus in the thread of a window; null for none.
HWND FocusOf(HWND h) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &info) ? info.hwndFocus : nullptr;
}

// focus HWND: the focus in the thread of HWND, 0 for none.
std::string Focus(const std::vector<std::string>& a) {
  if (a.size() < 2) return Fail("usage: focus HWND");
  return Ok("\"focus\":" + Handle(FocusOf(ToHwnd(a[1]))));
}

// key HWND VK: one press and release of a key, posted where a keyboard's go:
// to the focus in the thread of HWND. With no focus a key reaches no control.
std::string Key(const std::vector<std::string>& a) {
  if (a.size() < 3) return Fail("usage: key HWND VK");
  HWND target = FocusOf(ToHwnd(a[1]));
  if (!target) return Fail("no window holds the focus: the key reaches no control");
  const auto vk = static_cast<UINT>(std::strtoul(a[2].c_str(), nullptr, 0));
  const LPARAM pressed = 1 | static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16;
  const LPARAM released = pressed | LPARAM{1} << 30 | LPARAM{1} << 31;
  if (!PostMessageA(target, WM_KEYDOWN, vk, pressed) || !PostMessageA(target, WM_KEYUP, vk, released))
    return Fail(LastErrorText("PostMessage"));
  return Ok("\"target\":" + Handle(target));
}

// waitwin PID CLASS CAPTION APPEAR TIMEOUT: APPEAR 1 waits for a visible
// matching top-level window, 0 for there to be none.
std::string WaitWindow(const std::vector<std::string>& a) {
  // CLASS "-" and TEXT "*" match any; TEXT "-" is the empty caption.
  std::string cls, text;
  if (a.size() < 6) return Fail("usage: waitwin PID CLASS TEXT APPEAR TIMEOUT");
  bool anyClass = a[2] == "-", anyText = a[3] == "*";
  if ((!anyClass && !Unhex(a[2], &cls)) || (!anyText && !Unhex(a[3], &text))) return Fail("bad class or text");
  DWORD pid = std::strtoul(a[1].c_str(), nullptr, 10);
  bool appear = a[4] == "1";
  DWORD timeout = std::strtoul(a[5].c_str(), nullptr, 10);
  DWORD start = GetTickCount();
  for (;;) {
    HWND match = nullptr;
    for (HWND h : TopLevel(pid))
      if (Matches(h, anyClass, cls, anyText, text)) {
        match = h;
        break;
      }
    if (appear && match) return Ok("\"hwnd\":" + Handle(match) + ",\"ms\":" + Num(GetTickCount() - start));
    if (!appear && !match) return Ok("\"hwnd\":0,\"ms\":" + Num(GetTickCount() - start));
    if (GetTickCount() - start > timeout) return Fail("timeout");
    Sleep(kPollMs);
  }
}

std::string WaitExit(const std::vector<std::string>& a) {
  if (a.size() < 3) return Fail("usage: waitexit PID TIMEOUT");
  DWORD pid = 0;
  HANDLE p = ProcessFor(a[1], &pid);
  if (!p) return Fail("not a process of ours");
  DWORD timeout = std::strtoul(a[2].c_str(), nullptr, 10);
  if (WaitForSingleObject(p, timeout) != WAIT_OBJECT_0) return Ok("\"exited\":false");
  DWORD code = 0;
  GetExitCodeProcess(p, &code);
  return Ok("\"exited\":true,\"code\":" + Num(code));
}

// ctrl-event IMAGE EVENT: delivers a console control event to the one running process of that image
// name as Windows does, by a thread at kernel32's CtrlRoutine, since Wine's console sends only
// Ctrl+C and Ctrl+Break. Found by its name: wine started it, not this server, so its id is unknown here.
std::string CtrlEvent(const std::vector<std::string>& a) {
  if (a.size() < 3) return Fail("usage: ctrl-event IMAGE EVENT");
  DWORD pid = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    if (lstrcmpiA(entry.szExeFile, a[1].c_str()) == 0) pid = entry.th32ProcessID;
  CloseHandle(snapshot);
  if (pid == 0) return Fail("no process " + a[1]);
  auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine")));
  if (routine == nullptr) return Fail(LastErrorText("GetProcAddress CtrlRoutine"));
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
  if (process == nullptr) return Fail(LastErrorText("OpenProcess"));
  const ULONG_PTR event = std::strtoul(a[2].c_str(), nullptr, 10);
  HANDLE thread =
      CreateRemoteThread(process, nullptr, 0, routine, reinterpret_cast<LPVOID>(event), 0, nullptr);
  CloseHandle(process);
  if (thread == nullptr) return Fail(LastErrorText("CreateRemoteThread"));
  CloseHandle(thread);
  return Ok("\"pid\":" + Num(pid));
}

std::string Kill(const std::vector<std::string>& a) {
  if (a.size() < 2) return Fail("usage: kill PID");
  DWORD pid = 0;
  HANDLE p = ProcessFor(a[1], &pid);
  if (!p) return Fail("not a process of ours");
  TerminateProcess(p, 137);
  WaitForSingleObject(p, 5000);
  return Ok();
}

// manifest FILE: the ids of the program's RT_MANIFEST resources and the bytes
// of the first, as the loader would find them.
std::string Manifest(const std::vector<std::string>& a) {
  std::string path;
  if (a.size() < 2 || !Unhex(a[1], &path)) return Fail("usage: manifest FILE");
  HMODULE module =
      LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return Fail(LastErrorText("LoadLibraryExA"));
  std::vector<std::string> ids;
  EnumResourceNamesA(
      module, RT_MANIFEST,
      [](HMODULE, LPCSTR, LPSTR name, LONG_PTR p) -> BOOL {
        auto* out = reinterpret_cast<std::vector<std::string>*>(p);
        out->push_back(IS_INTRESOURCE(name) ? Num(reinterpret_cast<uintptr_t>(name)) : Quote(name));
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&ids));
  std::string bytes;
  if (HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST)) {
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (data) bytes.assign(static_cast<const char*>(data), SizeofResource(module, found));
  }
  FreeLibrary(module);
  return Ok("\"ids\":" + List(ids) + ",\"manifest\":" + HexField(bytes));
}

// version FILE: what VerQueryValueA reports, plus the raw block so that the
// harness can list every string the table really holds.
std::string Version(const std::vector<std::string>& a) {
  std::string path;
  if (a.size() < 2 || !Unhex(a[1], &path)) return Fail("usage: version FILE");
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return Fail(LastErrorText("GetFileVersionInfoSizeA"));
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return Fail(LastErrorText("GetFileVersionInfoA"));

  std::vector<std::string> translations;
  std::vector<std::pair<WORD, WORD>> pairs;
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length)) {
    auto* words = static_cast<WORD*>(value);
    const UINT count = length / (2 * sizeof(WORD));
    for (UINT i = 0; i < count; ++i) {
      pairs.emplace_back(words[2 * i], words[2 * i + 1]);
      translations.push_back("[" + Num(words[2 * i]) + "," + Num(words[2 * i + 1]) + "]");
    }
  }
  static const char* const names[] = {"Comments",         "CompanyName",     "FileDescription", "FileVersion",
                                      "InternalName",     "LegalCopyright",  "LegalTrademarks", "OriginalFilename",
                                      "PrivateBuild",     "ProductName",     "ProductVersion",  "SpecialBuild"};
  std::vector<std::string> strings;
  if (!pairs.empty()) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04x%04x\\", pairs[0].first, pairs[0].second);
    for (const char* name : names) {
      std::string query = std::string(prefix) + name;
      value = nullptr;
      length = 0;
      std::string entry = Quote(name) + ":";
      if (VerQueryValueA(block.data(), query.c_str(), &value, &length) && value) {
        // The length counts the terminating zero when there is one.
        std::string s(static_cast<const char*>(value), length);
        while (!s.empty() && s.back() == '\0') s.pop_back();
        entry += HexField(s);
      } else {
        entry += "null";
      }
      strings.push_back(entry);
    }
  }
  std::string fixed = "null";
  if (VerQueryValueA(block.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    auto* f = static_cast<VS_FIXEDFILEINFO*>(value);
    fixed = "{\"signature\":" + Num(f->dwSignature) + ",\"file\":[" + Num(HIWORD(f->dwFileVersionMS)) + "," +
            Num(LOWORD(f->dwFileVersionMS)) + "," + Num(HIWORD(f->dwFileVersionLS)) + "," +
            Num(LOWORD(f->dwFileVersionLS)) + "],\"product\":[" + Num(HIWORD(f->dwProductVersionMS)) + "," +
            Num(LOWORD(f->dwProductVersionMS)) + "," + Num(HIWORD(f->dwProductVersionLS)) + "," +
            Num(LOWORD(f->dwProductVersionLS)) + "],\"flags\":" + Num(f->dwFileFlags) +
            ",\"os\":" + Num(f->dwFileOS) + ",\"type\":" + Num(f->dwFileType) + "}";
  }
  std::string strs = "{";
  for (size_t i = 0; i < strings.size(); ++i) strs += (i ? "," : "") + strings[i];
  strs += "}";
  return Ok("\"translations\":" + List(translations) + ",\"strings\":" + strs + ",\"fixed\":" + fixed +
            ",\"raw\":" + HexField(std::string(block.data(), block.size())));
}

// textwidth FACE HEIGHT TEXT [CHARSET]: the extent the program's own layout
// would measure for the same font.
std::string TextWidth(const std::vector<std::string>& a) {
  std::string face, text;
  if (a.size() < 4 || !Unhex(a[1], &face) || !Unhex(a[3], &text)) return Fail("usage: textwidth FACE HEIGHT TEXT [CHARSET]");
  int height = std::atoi(a[2].c_str());
  int charset = a.size() > 4 ? std::atoi(a[4].c_str()) : DEFAULT_CHARSET;
  HFONT font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                           FromCodePage(1252, face).c_str());
  if (!font) return Fail(LastErrorText("CreateFontW"));
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  const std::wstring wide = FromCodePage(1252, text);
  BOOL ok = GetTextExtentPoint32W(dc, wide.data(), static_cast<int>(wide.size()), &size);
  wchar_t actual[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, actual);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  DeleteObject(font);
  if (!ok) return Fail(LastErrorText("GetTextExtentPoint32W"));
  return Ok("\"cx\":" + Num(size.cx) + ",\"cy\":" + Num(size.cy) + ",\"face\":" + Quote(ToCodePage(1252, actual)));
}

// lock FILE / unlock FILE: holds the file open without sharing, so that the
// program's own open of it fails.
std::string Lock(const std::vector<std::string>& a, bool lock) {
  std::string path;
  if (a.size() < 2 || !Unhex(a[1], &path)) return Fail("usage: lock|unlock FILE");
  if (!lock) {
    auto it = g_locks.find(path);
    if (it == g_locks.end()) return Fail("not locked");
    CloseHandle(it->second);
    g_locks.erase(it);
    return Ok();
  }
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return Fail(LastErrorText("CreateFileA"));
  g_locks[path] = h;
  return Ok();
}

// attrib FILE ATTRIBUTES: sets a file's attributes (read-only 1, hidden 2) as a
// user would; FILE in UTF-8.
std::string Attributes(const std::vector<std::string>& a) {
  std::string path;
  if (a.size() < 3 || !Unhex(a[1], &path)) return Fail("usage: attrib FILE ATTRIBUTES");
  if (!SetFileAttributesW(FromCodePage(CP_UTF8, path).c_str(), std::strtoul(a[2].c_str(), nullptr, 10)))
    return Fail(LastErrorText("SetFileAttributesW"));
  return Ok();
}

// regrestrict KEY ACCESS: the key's access list allows everyone that access
// and nothing more, so that opening it for more is refused.
std::string RegRestrict(const std::vector<std::string>& a) {
  std::string key;
  if (a.size() < 3 || !Unhex(a[1], &key)) return Fail("usage: regrestrict KEY ACCESS");
  const std::string sddl = "D:(A;;" + a[2] + ";;;WD)";
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr))
    return Fail(LastErrorText("ConvertStringSecurityDescriptorToSecurityDescriptorA"));
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, WRITE_DAC, &h);
  if (rc == ERROR_SUCCESS) {
    rc = RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, sd);
    RegCloseKey(h);
  }
  LocalFree(sd);
  if (rc != ERROR_SUCCESS) return Fail("RegSetKeySecurity failed, error " + Num(rc));
  return Ok();
}

// Registry commands work under HKEY_LOCAL_MACHINE. HARDWARE is volatile, and a
// key created below a volatile key must be volatile too.
// Read through the wide calls: the ANSI ones add a zero to an unterminated
// text, and the listing must show what the registry really holds.
std::string RegList(const std::vector<std::string>& a) {
  std::string key;
  if (a.size() < 2 || !Unhex(a[1], &key)) return Fail("usage: reglist KEY");
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h);
  if (rc == ERROR_FILE_NOT_FOUND) return Ok("\"exists\":false,\"values\":[]");
  if (rc != ERROR_SUCCESS) return Fail("RegOpenKeyExA failed, error " + Num(rc));
  auto narrow = [](const wchar_t* w, int count) {
    std::string out(count * 2 + 1, '\0');
    int n = count == 0 ? 0
                       : WideCharToMultiByte(1252, 0, w, count, &out[0], static_cast<int>(out.size()), nullptr,
                                             nullptr);
    out.resize(n > 0 ? n : 0);
    return out;
  };
  std::vector<std::string> items;
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD nameLen = sizeof name / sizeof name[0];
    std::vector<BYTE> data(65536);
    DWORD dataLen = static_cast<DWORD>(data.size());
    DWORD type = 0;
    rc = RegEnumValueW(h, i, name, &nameLen, nullptr, &type, data.data(), &dataLen);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) {
      RegCloseKey(h);
      return Fail("RegEnumValueW failed, error " + Num(rc));
    }
    std::string bytes;
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)
      bytes = narrow(reinterpret_cast<const wchar_t*>(data.data()), static_cast<int>(dataLen / sizeof(wchar_t)));
    else
      bytes.assign(reinterpret_cast<const char*>(data.data()), dataLen);
    items.push_back("{\"name\":" + HexField(narrow(name, static_cast<int>(nameLen))) + ",\"type\":" + Num(type) +
                    ",\"data\":" + HexField(bytes) + "}");
  }
  RegCloseKey(h);
  return Ok("\"exists\":true,\"values\":" + List(items));
}

std::string RegSet(const std::vector<std::string>& a) {
  std::string key, name, data;
  if (a.size() < 5 || !Unhex(a[1], &key) || !Unhex(a[2], &name) || !Unhex(a[4], &data))
    return Fail("usage: regset KEY NAME TYPE DATA");
  DWORD type = std::strtoul(a[3].c_str(), nullptr, 10);
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &h, nullptr);
  if (rc != ERROR_SUCCESS) return Fail("RegCreateKeyExA failed, error " + Num(rc));
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    // RegSetValueExA adds a zero to a text that lacks one, and so does the wide
    // call when a zero follows the counted characters in memory; with a
    // non-zero character behind them an unterminated text is stored as given.
    std::wstring wide(data.size() + 1, L'X');
    int n = data.empty() ? 0
                         : MultiByteToWideChar(1252, 0, data.data(), static_cast<int>(data.size()), &wide[0],
                                               static_cast<int>(data.size()));
    std::wstring wname(name.size() + 1, L'\0');
    MultiByteToWideChar(1252, 0, name.c_str(), -1, &wname[0], static_cast<int>(wname.size()));
    rc = RegSetValueExW(h, wname.c_str(), 0, type, reinterpret_cast<const BYTE*>(wide.data()),
                        static_cast<DWORD>(n * sizeof(wchar_t)));
  } else {
    rc = RegSetValueExA(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size()));
  }
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS) return Fail("RegSetValueExA failed, error " + Num(rc));
  return Ok();
}

std::string RegDelete(const std::vector<std::string>& a) {
  std::string key, name;
  if (a.size() < 3 || !Unhex(a[1], &key) || !Unhex(a[2], &name)) return Fail("usage: regdel KEY NAME");
  HKEY h = nullptr;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &h);
  if (rc != ERROR_SUCCESS) return Fail("RegOpenKeyExA failed, error " + Num(rc));
  rc = RegDeleteValueA(h, name.c_str());
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS) return Fail("RegDeleteValueA failed, error " + Num(rc));
  return Ok();
}

// regclear KEY: removes every value and keeps the key.
std::string RegClear(const std::vector<std::string>& a) {
  std::string key;
  if (a.size() < 2 || !Unhex(a[1], &key)) return Fail("usage: regclear KEY");
  HKEY h = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &h, nullptr);
  if (rc != ERROR_SUCCESS) return Fail("RegCreateKeyExA failed, error " + Num(rc));
  int removed = 0;
  for (;;) {
    char name[16384];
    DWORD nameLen = sizeof name;
    rc = RegEnumValueA(h, 0, name, &nameLen, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    if (RegDeleteValueA(h, name) != ERROR_SUCCESS) break;
    ++removed;
  }
  RegCloseKey(h);
  return Ok("\"removed\":" + Num(removed));
}

std::string RegDeleteKey(const std::vector<std::string>& a) {
  std::string key;
  if (a.size() < 2 || !Unhex(a[1], &key)) return Fail("usage: regdelkey KEY");
  LONG rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return Fail("RegDeleteKeyA failed, error " + Num(rc));
  return Ok();
}

std::string Info() {
  char windir[MAX_PATH] = {};
  GetWindowsDirectoryA(windir, sizeof windir);
  return Ok("\"pid\":" + Num(GetCurrentProcessId()) + ",\"acp\":" + Num(GetACP()) + ",\"windir\":" +
            HexField(windir) + ",\"screen\":[" + Num(GetSystemMetrics(SM_CXSCREEN)) + "," +
            Num(GetSystemMetrics(SM_CYSCREEN)) + "]");
}

std::string Dispatch(const std::vector<std::string>& a) {
  const std::string& c = a[0];
  if (c == "ping" || c == "info") return Info();
  if (c == "launch") return Launch(a);
  if (c == "windows") return Windows(a);
  if (c == "children") return Children(a);
  if (c == "text") return Text(a);
  if (c == "click") return Click(a);
  if (c == "msgboxes") return MessageBoxes(a);
  if (c == "pressok") return PressOk(a);
  if (c == "close") return Close(a);
  if (c == "post") return Message(a, true);
  if (c == "send") return Message(a, false);
  if (c == "focus") return Focus(a);
  if (c == "key") return Key(a);
  if (c == "waitwin") return WaitWindow(a);
  if (c == "waitexit") return WaitExit(a);
  if (c == "kill") return Kill(a);
  if (c == "ctrl-event") return CtrlEvent(a);
  if (c == "version") return Version(a);
  if (c == "manifest") return Manifest(a);
  if (c == "textwidth") return TextWidth(a);
  if (c == "lock") return Lock(a, true);
  if (c == "unlock") return Lock(a, false);
  if (c == "reglist") return RegList(a);
  if (c == "regset") return RegSet(a);
  if (c == "regdel") return RegDelete(a);
  if (c == "regclear") return RegClear(a);
  if (c == "regdelkey") return RegDeleteKey(a);
  if (c == "regrestrict") return RegRestrict(a);
  if (c == "attrib") return Attributes(a);
  if (c == "sleep") {
    Sleep(a.size() > 1 ? std::strtoul(a[1].c_str(), nullptr, 10) : 0);
    return Ok();
  }
  return Fail("unknown command " + c);
}

}  // namespace

int main() {
  // Never stop on a system error dialog: nobody is there to close it. The
  // programs we start inherit the mode.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::printf("%s\n", Ok("\"ready\":true").c_str());
  char line[1 << 16];
  while (std::fgets(line, sizeof line, stdin)) {
    std::istringstream in(line);
    std::vector<std::string> args;
    for (std::string word; in >> word;) args.push_back(word);
    if (args.empty()) continue;
    if (args[0] == "quit") {
      std::printf("%s\n", Ok().c_str());
      break;
    }
    std::string reply = Dispatch(args);
    std::fwrite(reply.data(), 1, reply.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  for (auto& p : g_processes) CloseHandle(p.second);
  for (auto& l : g_locks) CloseHandle(l.second);
  return 0;
}
