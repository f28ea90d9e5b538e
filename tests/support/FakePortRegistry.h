// The one fake port registry and text locale, with failures that can be switched on per call.
#pragma once

#include <algorithm>
#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/PortRegistry.h"

namespace fake {

constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

// Behaves like SERIALCOMM behind the ANSI registry API: values in insertion
// order, names that do not fit the caller's buffer (with its NUL) fail.
class FakePortRegistry : public PortRegistry {
 public:
  struct Value {
    std::string Name;
    uint32_t Type;
    std::string Text;
  };

  // The machine's state.
  bool KeyPresent = true;
  std::vector<Value> Values;

  // Injected failures.
  bool FailOpen = false;
  bool FailQueryInfo = false;
  std::set<uint32_t> FailEnumAt;
  std::set<std::string> FailTypeOf;
  std::set<std::string> FailTextOf;
  // Reported by QueryInfo instead of the real longest name, when set.
  int64_t ReportedMaxNameLength = -1;

  // What the scan did.
  int KeyExistsCalls = 0;
  int OpenCalls = 0;
  int CloseCalls = 0;
  bool Open = false;
  std::vector<std::string> SubkeysAsked;
  std::vector<uint32_t> CapacitiesGiven;

  void Add(const std::string& name, const std::string& text, uint32_t type = kRegSz) {
    Values.push_back({name, type, text});
  }
  // A device unplugged: its port leaves the list.
  void Remove(const std::string& text) {
    Values.erase(std::remove_if(Values.begin(), Values.end(), [&](const Value& v) { return v.Text == text; }),
                 Values.end());
  }
  int Scans() const { return KeyExistsCalls; }

  bool KeyExists(const std::string& subkey) override {
    ++KeyExistsCalls;
    SubkeysAsked.push_back(subkey);
    return KeyPresent && subkey == "HARDWARE\\DEVICEMAP\\SERIALCOMM";
  }
  bool OpenKey(const std::string& subkey) override {
    ++OpenCalls;
    SubkeysAsked.push_back(subkey);
    Open = !FailOpen && KeyPresent && subkey == "HARDWARE\\DEVICEMAP\\SERIALCOMM";
    return Open;
  }
  bool QueryInfo(uint32_t& valueCount, uint32_t& maxValueNameLength) override {
    if (!Open || FailQueryInfo) return false;
    valueCount = static_cast<uint32_t>(Values.size());
    size_t longest = 0;
    for (const Value& v : Values) longest = std::max(longest, v.Name.size());
    maxValueNameLength =
        ReportedMaxNameLength >= 0 ? static_cast<uint32_t>(ReportedMaxNameLength) : static_cast<uint32_t>(longest);
    return true;
  }
  bool EnumValueName(uint32_t index, uint32_t nameCapacity, std::string& name) override {
    CapacitiesGiven.push_back(nameCapacity);
    if (!Open || index >= Values.size() || FailEnumAt.count(index) != 0) return false;
    if (Values[index].Name.size() >= nameCapacity) return false;  // ERROR_MORE_DATA
    name = Values[index].Name;
    return true;
  }
  bool QueryValueType(const std::string& name, uint32_t& type) override {
    const Value* v = Find(name);
    if (v == nullptr || FailTypeOf.count(name) != 0) return false;
    type = v->Type;
    return true;
  }
  bool QueryValueText(const std::string& name, std::string& text) override {
    const Value* v = Find(name);
    if (v == nullptr || FailTextOf.count(name) != 0) return false;
    text = v->Text;
    return true;
  }
  void CloseKey() override {
    ++CloseCalls;
    Open = false;
  }

 private:
  const Value* Find(const std::string& name) const {
    if (!Open) return nullptr;
    for (const Value& v : Values)
      if (v.Name == name) return &v;
    return nullptr;
  }
};

// Byte order and ASCII upper case by default; can be made to ignore case, or to
// throw, and counts its calls.
class FakeTextLocale : public TextLocale {
 public:
  bool IgnoreCase = false;
  bool ThrowOnCompare = false;
  mutable int UpperCalls = 0;

  int Compare(const std::string& a, const std::string& b) const override {
    if (ThrowOnCompare) throw std::runtime_error("compare");
    const std::string x = IgnoreCase ? AsciiUpper(a) : a;
    const std::string y = IgnoreCase ? AsciiUpper(b) : b;
    const int c = x.compare(y);
    return (c > 0) - (c < 0);
  }
  std::string Upper(const std::string& text) const override {
    ++UpperCalls;
    return AsciiUpper(text);
  }

 private:
  static std::string AsciiUpper(std::string s) {
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
  }
};

}  // namespace fake
