// The rules that list the serial ports and choose one, shared by the port dialog and the command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/PortList.h"
#include "platform/PortRegistry.h"

// Counted from the root of HKEY_LOCAL_MACHINE.
extern const char kSerialCommKey[];  // "\HARDWARE\DEVICEMAP\SERIALCOMM"
// Part of the device name the Silicon Labs CP210x bridge driver gives its ports: our units ship with one.
extern const char kPreferredDriver[];  // "Silabser"
// What a port of that driver carries in the list, after " : ".
extern const char kPreferredMark[];  // "KORVANE"

struct PortListEntry {
  std::string Text;       // as the list shows it: the port, and " : KORVANE" for a preferred one
  std::string Port;       // the value's data: "COM5"
  std::string ValueName;  // the value's name: "\Device\Silabser0"
  bool Preferred = false;
};

enum class PortListResult {
  Listed,      // the list is complete; it may be empty (no key, no values, none usable)
  Unreadable,  // the key is there but its information cannot be read
};

// Reads the key's values into entries sorted by locale, each text once, and
// closes the key on every way out.
PortListResult ReadPortList(PortRegistry& registry, const TextLocale& locale,
                            std::vector<PortListEntry>& entries);

bool IsPreferredEntry(const std::string& text);

// The number n of a text naming COMn: blanks trimmed, upper-cased by the
// locale, the digits after the first "COM" (or from the third character
// without one). 0 when there is no number or it is above INT32_MAX.
int32_t ParsePortNumber(const std::string& text, const TextLocale& locale);

// The entry the dialog selects in a non-empty list: the first preferred one;
// otherwise the last one numbered like the previous choice; otherwise the first.
size_t SelectPortEntry(const std::vector<std::string>& texts, int32_t previous, const TextLocale& locale);

// What auto found: the one port it takes, or why it takes none.
enum class AutoPortResult { Chosen, None, SeveralPreferred, SeveralOthers };

struct AutoCandidate {
  bool Preferred = false;
  bool NotForAuto = false;  // the system's console, which a reading would disturb
};

// The port "auto" takes: the one preferred port, else the one port there is;
// never one marked not for auto. Several preferred ports, or several others and
// none preferred, are a choice a script must not guess: chosen is then untouched.
AutoPortResult AutoPortEntry(const std::vector<AutoCandidate>& ports, size_t& chosen);
// The same among listed ports: the preferred ones by their driver, consoles never.
AutoPortResult AutoPortEntry(const std::vector<PortInfo>& ports, size_t& chosen);

// Whether the port is on the driver our units' CP210x bridge uses: "cp210x" on Linux; on Windows the
// driver's device name holds "Silabser", as the dialog's mark has it. Where the system names no
// driver (a browser tells only the USB ids), the Silicon Labs vendor id stands for it.
bool HasPreferredDriver(const PortInfo& port);

// Every port the lister finds, each marked preferred or not, in natural order (ttyUSB2 before
// ttyUSB10). False when the system's list cannot be read.
bool ListPorts(PortLister& lister, std::vector<PortInfo>& ports);

// "COM5" or "\\.\COM5", in any case: the way Windows names its ports.
bool IsComName(const std::string& name);
// The COM name without the "\\.\" that lets CreateFile open COM10 and above; other names as given.
std::string ComName(const std::string& port);

// Natural order of port names: the numbers in them compare by value, so that
// ttyUSB2 comes before ttyUSB10 and COM9 before COM10.
bool NaturalLess(const std::string& a, const std::string& b);
