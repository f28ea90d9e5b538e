// Checks the Win32 registry backend and locale against the real API, on a volatile key of its own (run under Wine).
#include <cstdio>
#include <set>
#include <string>

#include "win32/Win32PortRegistry.h"
#include "win32/Win32RegistryApi.h"
#include "win32/WindowsApi.h"

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

// Failures and races put between the backend and the registry.
HKEY grownKey = nullptr;
int growBeforeDataReads = 0;   // how many data reads find the value longer than it was
std::string grownText;
bool failOpen = false;
bool failInfo = false;
bool enumMoreData = false;

LONG WINAPI OpenKeyEx(HKEY root, LPCSTR subkey, DWORD options, REGSAM access, PHKEY key) {
  if (failOpen) return ERROR_ACCESS_DENIED;
  return RegOpenKeyExA(root, subkey, options, access, key);
}

LONG WINAPI QueryInfoKey(HKEY key, LPSTR cls, LPDWORD clsLen, LPDWORD reserved, LPDWORD subkeys, LPDWORD maxSubkey,
                         LPDWORD maxClass, LPDWORD values, LPDWORD maxName, LPDWORD maxData, LPDWORD security,
                         PFILETIME written) {
  if (failInfo) return ERROR_INVALID_HANDLE;
  return RegQueryInfoKeyA(key, cls, clsLen, reserved, subkeys, maxSubkey, maxClass, values, maxName, maxData, security,
                          written);
}

LONG WINAPI EnumValue(HKEY key, DWORD index, LPSTR name, LPDWORD nameLen, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataLen) {
  if (enumMoreData) return ERROR_MORE_DATA;
  return RegEnumValueA(key, index, name, nameLen, reserved, type, data, dataLen);
}

LONG WINAPI QueryValueEx(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataLen) {
  if (data != nullptr && growBeforeDataReads > 0) {
    --growBeforeDataReads;
    grownText += "0123456789";
    SetRaw(grownKey, name, REG_SZ, grownText + std::string(1, '\0'));
  }
  return RegQueryValueExA(key, name, reserved, type, data, dataLen);
}

void CheckInjectedFailures(const std::string& subkey) {
  Win32RegistryApi api;
  api.OpenKeyEx = &OpenKeyEx;
  api.QueryInfoKey = &QueryInfoKey;
  api.EnumValue = &EnumValue;
  api.QueryValueEx = &QueryValueEx;
  Win32PortRegistry registry(&api);
  uint32_t count = 0;
  uint32_t longest = 0;
  std::string text;

  failOpen = true;
  CHECK(!registry.KeyExists(subkey));
  CHECK(!registry.OpenKey(subkey));
  CHECK(!registry.QueryInfo(count, longest));
  failOpen = false;
  CHECK(registry.OpenKey(subkey));
  failInfo = true;
  CHECK(!registry.QueryInfo(count, longest));
  failInfo = false;
  enumMoreData = true;
  CHECK(!registry.EnumValueName(0, 100, text));
  enumMoreData = false;

  // The value grows between the size query and the data query: read again, whole.
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_SET_VALUE, &grownKey);
  grownText = "COM1";
  SetRaw(grownKey, "\\Device\\Growing", REG_SZ, grownText + std::string(1, '\0'));
  growBeforeDataReads = 1;
  CHECK(registry.QueryValueText("\\Device\\Growing", text));
  CHECK(text == "COM10123456789");
  // One that never stops growing is given up.
  growBeforeDataReads = 1000;
  CHECK(!registry.QueryValueText("\\Device\\Growing", text));
  growBeforeDataReads = 0;
  RegCloseKey(grownKey);
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

  CheckInjectedFailures(subkey);

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
