// Checks the Win32 registry backend and locale against the real API, on a volatile key of its own (run under Wine).
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>

#include "win32/Win32PortRegistry.h"

namespace {

int checks = 0;
int failures = 0;

void Check(bool ok, const char* what, int line) {
  ++checks;
  if (ok) return;
  ++failures;
  std::printf("FAIL line %d: %s\n", line, what);
}
#define CHECK(cond) Check((cond), #cond, __LINE__)

void SetRaw(HKEY key, const std::string& name, DWORD type, const std::string& bytes) {
  const LONG rc = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size()));
  if (rc != ERROR_SUCCESS) std::printf("setup: RegSetValueExA(%.40s) failed with %ld\n", name.c_str(), rc);
}

}  // namespace

int main() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  const std::string subkey = "Software\\BravelleRegistryCheck" + std::to_string(GetCurrentProcessId());
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    std::printf("setup: cannot create the test key\n");
    return 2;
  }
  const std::string longName = "\\Device\\Silabser" + std::string(2000, 'n');
  const std::string longData(200000, 'A');
  SetRaw(key, "\\Device\\Serial0", REG_SZ, std::string("COM3\0", 5));
  SetRaw(key, "\\Device\\Serial1", REG_SZ, "COM4");  // stored without its NUL
  SetRaw(key, "\\Device\\Serial2", REG_SZ, std::string("COM5\0junk\0", 10));
  SetRaw(key, "\\Device\\Serial3", REG_DWORD, std::string("\x07\0\0\0", 4));
  SetRaw(key, "\\Device\\Serial4", REG_SZ, "");
  SetRaw(key, "\\Device\\Serial5", REG_EXPAND_SZ, std::string("%SystemRoot%\0", 13));
  SetRaw(key, "\\Device\\Serial6", REG_SZ, longData);
  SetRaw(key, longName, REG_SZ, std::string("COM9\0", 5));
  RegCloseKey(key);

  {
    Win32PortRegistry registry;
    uint32_t count = 0;
    uint32_t longest = 0;
    CHECK(registry.KeyExists(subkey));
    CHECK(!registry.KeyExists(subkey + "\\Absent"));
    CHECK(!registry.QueryInfo(count, longest));
    CHECK(!registry.OpenKey(subkey + "\\Absent"));
    CHECK(!registry.QueryInfo(count, longest));

    CHECK(registry.OpenKey(subkey));
    CHECK(registry.QueryInfo(count, longest));
    CHECK(count == 8);
    CHECK(longest == longName.size());

    std::set<std::string> names;
    for (uint32_t i = 0; i < count; ++i) {
      std::string name;
      CHECK(registry.EnumValueName(i, longest + 1, name));
      names.insert(name);
    }
    CHECK(names.size() == 8);
    CHECK(names.count(longName) == 1);
    CHECK(names.count("\\Device\\Serial6") == 1);
    std::string name;
    CHECK(!registry.EnumValueName(count, longest + 1, name));
    // The buffer must hold the name and its NUL.
    bool shortBufferFailed = false;
    for (uint32_t i = 0; i < count; ++i) {
      std::string n;
      if (!registry.EnumValueName(i, static_cast<uint32_t>(longName.size()), n)) shortBufferFailed = true;
    }
    CHECK(shortBufferFailed);
    CHECK(registry.EnumValueName(0, 0xFFFFFFFFu, name));

    uint32_t type = 0;
    CHECK(registry.QueryValueType("\\Device\\Serial0", type) && type == REG_SZ);
    CHECK(registry.QueryValueType("\\Device\\Serial3", type) && type == REG_DWORD);
    CHECK(registry.QueryValueType("\\Device\\Serial5", type) && type == REG_EXPAND_SZ);
    CHECK(!registry.QueryValueType("\\Device\\Absent", type));

    std::string text = "stale";
    CHECK(registry.QueryValueText("\\Device\\Serial0", text) && text == "COM3");
    CHECK(registry.QueryValueText("\\Device\\Serial1", text) && text == "COM4");
    CHECK(registry.QueryValueText("\\Device\\Serial2", text) && text == "COM5");
    CHECK(registry.QueryValueText("\\Device\\Serial4", text) && text.empty());
    CHECK(registry.QueryValueText("\\Device\\Serial5", text) && text == "%SystemRoot%");
    CHECK(registry.QueryValueText("\\Device\\Serial6", text) && text == longData);
    CHECK(registry.QueryValueText(longName, text) && text == "COM9");
    CHECK(!registry.QueryValueText("\\Device\\Absent", text));

    registry.CloseKey();
    CHECK(!registry.QueryInfo(count, longest));
    CHECK(!registry.QueryValueText("\\Device\\Serial0", text));
    // Opened again and left open: the destructor closes it.
    CHECK(registry.OpenKey(subkey));
  }

  Win32TextLocale locale;
  CHECK(locale.Compare("COM10", "COM2") < 0);
  CHECK(locale.Compare("COM2", "COM3") < 0);
  CHECK(locale.Compare("COM3", "COM3") == 0);
  CHECK(locale.Compare("COM4 : KORVANE", "COM4") > 0);
  CHECK(locale.Upper("com7 : korvane") == "COM7 : KORVANE");
  CHECK(locale.Upper("") == "");
  CHECK(locale.Upper("fran\xE7" "ais") == "FRAN\xC7" "AIS");

  RegDeleteKeyA(HKEY_LOCAL_MACHINE, subkey.c_str());
  std::printf("%d checks, %d failed\n", checks, failures);
  return failures == 0 ? 0 : 1;
}
