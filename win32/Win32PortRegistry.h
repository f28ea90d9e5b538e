// The serial port list on Windows: HKEY_LOCAL_MACHINE read through the ANSI registry API, and the user's locale.
#pragma once

#include <string>

#include "platform/PortRegistry.h"

struct Win32RegistryApi;

class Win32PortRegistry : public PortRegistry {
 public:
  // api replaces the system's registry functions (tests) and must outlive the
  // registry; null takes the system's.
  explicit Win32PortRegistry(const Win32RegistryApi* api = nullptr);
  ~Win32PortRegistry() override;
  Win32PortRegistry(const Win32PortRegistry&) = delete;
  Win32PortRegistry& operator=(const Win32PortRegistry&) = delete;

  bool KeyExists(const std::string& subkey) override;
  bool OpenKey(const std::string& subkey) override;
  bool QueryInfo(uint32_t& valueCount, uint32_t& maxValueNameLength) override;
  bool EnumValueName(uint32_t index, uint32_t nameCapacity, std::string& name) override;
  bool QueryValueType(const std::string& name, uint32_t& type) override;
  bool QueryValueText(const std::string& name, std::string& text) override;
  void CloseKey() override;

 private:
  const Win32RegistryApi& api_;
  void* key_ = nullptr;  // HKEY; kept opaque so that callers need no <windows.h>
};

// CompareStringA and CharUpperBuffA under the user's default locale.
class Win32TextLocale : public TextLocale {
 public:
  int Compare(const std::string& a, const std::string& b) const override;
  std::string Upper(const std::string& text) const override;
};
