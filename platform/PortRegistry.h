// Read-only access to the registry key the port dialog lists its ports from
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), and the locale services that list is
// ordered and parsed with. Only the dialog and the Windows port list read
// through it; it is kept free of <windows.h> so that the dialog's tests run
// anywhere on a fake registry. Other systems list their ports in PortList.h.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t kRegSz = 1;         // REG_SZ
constexpr uint32_t kRegExpandSz = 2;   // REG_EXPAND_SZ

// One open key at a time, under HKEY_LOCAL_MACHINE. Subkeys are given without
// a leading backslash. Every call reports success; nothing throws.
class PortRegistry {
 public:
  virtual ~PortRegistry() = default;
  // Opens with STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS and closes again.
  virtual bool KeyExists(const std::string& subkey) = 0;
  // Opens with KEY_READ; closes a key opened before.
  virtual bool OpenKey(const std::string& subkey) = 0;
  virtual bool QueryInfo(uint32_t& valueCount, uint32_t& maxValueNameLength) = 0;
  // nameCapacity is the buffer length in characters the name is read into.
  virtual bool EnumValueName(uint32_t index, uint32_t nameCapacity, std::string& name) = 0;
  virtual bool QueryValueType(const std::string& name, uint32_t& type) = 0;
  // The data as text up to its first NUL byte; data of any length, with or without a NUL.
  virtual bool QueryValueText(const std::string& name, std::string& text) = 0;
  virtual void CloseKey() = 0;
};

class TextLocale {
 public:
  virtual ~TextLocale() = default;
  // <0, 0, >0 like CompareStringA(LOCALE_USER_DEFAULT, 0, ...) minus 2.
  virtual int Compare(const std::string& a, const std::string& b) const = 0;
  // CharUpperBuffA.
  virtual std::string Upper(const std::string& text) const = 0;
};
