// Which port a command reads: the forms --port takes (auto, a name, usb:, location=), the port list
// in natural order, and the words for a port that cannot be used.
#pragma once

#include <string>
#include <vector>

#include "cli/PortAccess.h"
#include "cli/PortNaming.h"
#include "cli/SystemWords.h"
#include "ports/PortSelection.h"

struct PortSpec {
  enum Kind { Auto, Name, Usb, Socket } Kind = Auto;
  std::string Text;  // as the user gave it
  // usb:VID:PID[:SERIAL][:ifN]
  std::string Vid;  // lowercase, four digits
  std::string Pid;
  std::string Serial;  // empty: any
  int Interface = -1;  // -1: any
  // location=BUS-PORT.PORT[:CONFIG.IF]
  std::string Location;
  std::string InterfaceLocation;  // empty: any
};

// False when a usb: or location= form is malformed (Kind tells which).
bool ParsePortSpec(const std::string& text, PortSpec& spec);

// Whether a listed port is one the form names (auto matches none: it is a rule, not a name).
bool Matches(PortNaming& naming, const PortSpec& spec, const PortInfo& port);

struct PortChoice {
  enum Result { Chosen, NotThere, Ambiguous, Unreadable } Result = NotThere;
  std::string Port;      // the port as the user and the list name it: "/dev/ttyUSB0", "COM5"
  std::string Location;  // the USB socket, when the port is a USB one
  PortProblem Problem = PortProblem::None;  // why none was chosen
  std::vector<std::string> Candidates;      // the ports that fit, when several do
  bool SeveralPreferred = false;            // auto: several CP210x ports, not several others
};

// The port a form stands for now. A name is taken as it is, whether or not the
// list knows it; auto takes the one preferred (CP210x) port, else the one port,
// never the system's console; usb: and location= take the one port that fits.
PortChoice ChoosePort(PortNaming& naming, PortAccess& ports, const PortSpec& spec);
// The same from a lister of the caller's (a watch's fixtures share one walk of the system's list).
PortChoice ChoosePort(PortNaming& naming, const PortSpec& spec, PortLister& lister);

// What ChoosePort found wrong, for a person: the reason, then the ports that fit, UTF-8 lines.
std::vector<std::string> ChoiceProblemLines(const PortSpec& spec, const PortChoice& choice,
                                            uint32_t language);

// The heading and the lines of a port that cannot be used, for a person: the system's words for the
// status, then what usually fixes the problem the port's device read in it.
std::vector<std::string> PortProblemReport(SystemWords& words, PortProblem problem, int32_t status,
                                           const std::string& port, uint32_t language);
