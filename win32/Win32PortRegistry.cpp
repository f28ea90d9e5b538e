// The serial port list on Windows: read-only registry access and the locale services of the port list.
#include "win32/Win32PortRegistry.h"

#include <algorithm>
#include <vector>

#include "win32/Win32RegistryApi.h"

namespace {

// STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS: enough to know the key is there.
constexpr REGSAM kProbeAccess = 0x20009;
constexpr REGSAM kReadAccess = KEY_READ;  // 0x20019

// No value name can be longer than 16383 characters; a larger capacity is a caller's mistake, not a reason to allocate.
constexpr uint32_t kMaxNameCapacity = 32768;
// A value that keeps growing while it is read is given up after a few tries.
constexpr int kReadAttempts = 4;

HKEY AsKey(void* key) { return static_cast<HKEY>(key); }

const Win32RegistryApi& SystemApi() {
  static const Win32RegistryApi api;
  return api;
}

}  // namespace

Win32PortRegistry::Win32PortRegistry(const Win32RegistryApi* api) : api_(api != nullptr ? *api : SystemApi()) {}

Win32PortRegistry::~Win32PortRegistry() { CloseKey(); }

bool Win32PortRegistry::KeyExists(const std::string& subkey) {
  HKEY key = nullptr;
  if (api_.OpenKeyEx(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, kProbeAccess, &key) != ERROR_SUCCESS) return false;
  api_.CloseKey(key);
  return true;
}

bool Win32PortRegistry::OpenKey(const std::string& subkey) {
  CloseKey();
  HKEY key = nullptr;
  if (api_.OpenKeyEx(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, kReadAccess, &key) != ERROR_SUCCESS) return false;
  key_ = key;
  return true;
}

bool Win32PortRegistry::QueryInfo(uint32_t& valueCount, uint32_t& maxValueNameLength) {
  if (key_ == nullptr) return false;
  DWORD values = 0;
  DWORD maxName = 0;
  if (api_.QueryInfoKey(AsKey(key_), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &maxName, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  valueCount = values;
  maxValueNameLength = maxName;
  return true;
}

bool Win32PortRegistry::EnumValueName(uint32_t index, uint32_t nameCapacity, std::string& name) {
  if (key_ == nullptr || nameCapacity == 0) return false;
  const uint32_t capacity = std::min(nameCapacity, kMaxNameCapacity);
  std::vector<char> buffer(capacity, '\0');
  DWORD length = capacity;
  // A name that grew past the capacity since the information query fails here with ERROR_MORE_DATA.
  if (api_.EnumValue(AsKey(key_), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  name.assign(buffer.data(), std::min<size_t>(length, buffer.size()));
  return true;
}

bool Win32PortRegistry::QueryValueType(const std::string& name, uint32_t& type) {
  if (key_ == nullptr) return false;
  DWORD t = 0;
  if (api_.QueryValueEx(AsKey(key_), name.c_str(), nullptr, &t, nullptr, nullptr) != ERROR_SUCCESS) return false;
  type = t;
  return true;
}

bool Win32PortRegistry::QueryValueText(const std::string& name, std::string& text) {
  if (key_ == nullptr) return false;
  DWORD size = 0;
  if (api_.QueryValueEx(AsKey(key_), name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
  if (size == 0) {
    text.clear();
    return true;
  }
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    // One byte more than the data, always zero: the stored text need not end in a NUL.
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    DWORD got = size;
    const LONG rc = api_.QueryValueEx(AsKey(key_), name.c_str(), nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(buffer.data()), &got);
    if (rc == ERROR_MORE_DATA) {
      // The value grew between the two queries; got now holds its new size.
      size = std::max<DWORD>(got, size + 1);
      continue;
    }
    if (rc != ERROR_SUCCESS) return false;
    const size_t end = std::min<size_t>(got, size);
    text.assign(buffer.data(), std::find(buffer.data(), buffer.data() + end, '\0'));
    return true;
  }
  return false;
}

void Win32PortRegistry::CloseKey() {
  if (key_ == nullptr) return;
  api_.CloseKey(AsKey(key_));
  key_ = nullptr;
}

int Win32TextLocale::Compare(const std::string& a, const std::string& b) const {
  return CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) -
         2;
}

std::string Win32TextLocale::Upper(const std::string& text) const {
  std::string copy = text;
  if (!copy.empty()) CharUpperBuffA(&copy[0], static_cast<DWORD>(copy.size()));
  return copy;
}
