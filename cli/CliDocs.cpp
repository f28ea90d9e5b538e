// bravelle-cli-docs: bravelle-cli's manual page and bash completion, made at build time from the table of
// options and the texts that --help shows, so that the three never differ.
//   bravelle-cli-docs man fr|en YYYY-MM-DD   the manual page (troff, UTF-8) on standard output
//   bravelle-cli-docs bash-completion        the completion script on standard output
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "text/CommandLineTexts.h"

namespace {

const CliCommand kCommands[] = {CliCommand::Ports, CliCommand::Read, CliCommand::Watch};
const uint32_t kEnglish = 1;

const char* CommandName(CliCommand command) {
  return command == CliCommand::Ports ? "ports" : command == CliCommand::Read ? "read" : "watch";
}

// The page's own headings and the lines about what the package adds, French then English.
struct PageWords {
  const char* Title;
  const char* Name;
  const char* Synopsis;
  const char* Description;
  const char* Commands;
  const char* Files;
  const char* UdevRule;
  const char* SeeAlso;
};
const PageWords kWords[2] = {
    {"Commandes", "NOM", "SYNOPSIS", "DESCRIPTION", "COMMANDES", "FICHIERS",
     "La r\xC3\xA8gle udev du paquet : l'utilisateur assis devant le poste peut ouvrir les ports des "
     "c\xC3\xA2"
     "bles CP210x sans faire partie d'aucun groupe, et ModemManager les laisse tranquilles.",
     "VOIR AUSSI"},
    {"User Commands", "NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "FILES",
     "The package's udev rule: the user at the seat may open the ports of the CP210x cables without being "
     "in any group, and ModemManager leaves them alone.",
     "SEE ALSO"},
};

// Text as troff shows it: backslashes written out, a line kept from being read as a request, and a
// hyphen that begins a word (an option, a dash) a minus sign.
std::string Roff(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char before = i == 0 ? '\n' : text[i - 1];
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-' && std::strchr("\n \t([\"'|-", before) != nullptr) {
      out += "\\-";
    } else if ((c == '.' || c == '\'') && before == '\n') {
      out += "\\&";
      out += c;
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A part of a help text as the page shows it: a blank line starts a paragraph, lines that the help
// indents (a list of commands) keep their places, the others are filled.
std::string Paragraphs(const std::string& text) {
  std::string out;
  bool kept = false;
  bool fresh = true;
  for (const std::string& line : Lines(text)) {
    const bool indented = !line.empty() && line[0] == ' ';
    if (kept && !indented) out += ".fi\n";
    if (line.empty()) {
      if (!fresh) out += ".PP\n";
      fresh = true;
      kept = false;
      continue;
    }
    if (indented && !kept) out += ".nf\n";
    kept = indented;
    fresh = false;
    out += Roff(line) + "\n";
  }
  if (kept) out += ".fi\n";
  return out;
}

// The help of a command cut where its usage line and its options go.
void SplitHelp(CliText id, uint32_t language, std::string& description, std::string& after) {
  const std::string text = Say(id, language, "", "\x01");
  const size_t cut = text.find('\x01');
  description = text.substr(0, cut);
  after = cut == std::string::npos ? "" : text.substr(cut + 1);
}

int ManualPage(uint32_t language, const std::string& date) {
  const PageWords& w = kWords[language];
  // The program's help: its synopsis, then what it does, the ports and the exit codes.
  const std::string help = Say(TXT_CLI_HELP, language, "");
  std::vector<std::string> body = Lines(help);
  while (!body.empty() && body.front().empty()) body.erase(body.begin());
  std::string summary = body.empty() ? "" : body.front();
  if (!summary.empty() && summary.back() == '.') summary.pop_back();
  std::string rest;
  for (size_t i = 1; i < body.size(); ++i) rest += body[i] + "\n";

  std::string page = ".\\\" Made by bravelle-cli-docs from bravelle-cli's table of options and help texts.\n";
  page += ".TH BRAVELLE\\-CLI 1 " + date + " \"bravelle-cli " BRAVELLE_VERSION "\" \"" + w.Title + "\"\n";
  page += std::string(".SH ") + w.Name + "\nbravelle\\-cli \\- " + Roff(summary) + "\n";
  page += std::string(".SH ") + w.Synopsis + "\n.nf\n";
  const size_t word = Say(TXT_CLI_USAGE_WORD, language).size() + 1;
  for (const std::string& line : Lines(Synopsis(language))) page += Roff(line.substr(word)) + "\n";
  page += ".fi\n";
  page += std::string(".SH ") + w.Description + "\n" + Paragraphs(rest);
  page += std::string(".SH ") + w.Commands + "\n";
  for (CliCommand command : kCommands) {
    const CliText id = command == CliCommand::Ports  ? TXT_CLI_HELP_PORTS
                       : command == CliCommand::Read ? TXT_CLI_HELP_READ
                                                     : TXT_CLI_HELP_WATCH;
    std::string description, exitCodes;
    SplitHelp(id, language, description, exitCodes);
    page += std::string(".SS ") + CommandName(command) + "\n" + Paragraphs(description);
    for (const OptionHelp& option : CommandOptions(command, language)) {
      page += ".TP\n\\fB" + Roff(option.Name) + "\\fR";
      if (!option.Value.empty()) page += " \\fI" + Roff(option.Value) + "\\fR";
      page += "\n" + Roff(option.Text) + "\n";
    }
    page += ".PP\n" + Paragraphs(exitCodes);
  }
  page += std::string(".SH ") + w.Files + "\n.TP\n/usr/lib/udev/rules.d/60\\-bravelle.rules\n" +
          Roff(w.UdevRule) + "\n";
  page += std::string(".SH ") + w.SeeAlso + "\n.BR udev (7),\n.BR ModemManager (8)\n";
  std::fputs(page.c_str(), stdout);
  return std::ferror(stdout) ? 1 : 0;
}

// How the completion offers an option's value, from the value's form in the English help.
std::string ValueCompletion(const std::string& value) {
  if (value == "PORT") return "_bravelle_cli_ports \"$program\" \"$typed\"";
  if (value == "NAME=PORT")
    return "[[ $typed == *=* ]] && _bravelle_cli_ports \"$program\" \"${typed#*=}\" \"${typed%%=*}=\"";
  if (value == "FILE") return "compgen -f -- \"$typed\"";
  if (value == "DIR") return "compgen -d -- \"$typed\"";
  if (value == "COMMAND") return "compgen -c -- \"$typed\"";
  if (value.find('|') != std::string::npos) {
    std::string words = value;
    for (char& c : words)
      if (c == '|') c = ' ';
    return "compgen -W '" + words + "' -- \"$typed\"";
  }
  return ":";
}

const char kCompletionHead[] =
    R"(# bash completion of bravelle-cli: its commands, the options of each and their values, and the forms of
# the ports it can read. Made by bravelle-cli-docs from bravelle-cli's table of options.

# The ports the program lists, in every form it reads (auto, the device path and the /dev/serial names
# that lead to it, usb:VID:PID[:SERIAL][:ifN], location=), starting with $2, each after the prefix $3.
_bravelle_cli_ports() {
  local program=$1 typed=$2 prefix=${3-} line key rest
  local -a forms=(auto) usb=()
  local -A adapters=()
  while IFS= read -r line; do
    [[ $line =~ \"port\":\"([^\"]*)\" ]] || continue
    forms+=("${BASH_REMATCH[1]}")
    local vid= pid= serial= interface=
    [[ $line =~ \"vid\":\"([^\"]*)\" ]] && vid=${BASH_REMATCH[1]}
    [[ $line =~ \"pid\":\"([^\"]*)\" ]] && pid=${BASH_REMATCH[1]}
    [[ $line =~ \"serial_number\":\"([^\"]*)\" ]] && serial=:${BASH_REMATCH[1]}
    [[ $line =~ \"interface\":\"([^\"]*)\" ]] && interface=${BASH_REMATCH[1]}
    [[ $line =~ \"location\":\"([^\"]*)\" ]] && forms+=("location=${BASH_REMATCH[1]}")
    rest=$line
    while [[ $rest =~ \"by_(id|path)\":\[([^]]*)\](.*) ]]; do
      local names=${BASH_REMATCH[2]}
      rest=${BASH_REMATCH[3]}
      while [[ $names =~ ^,?\"([^\"]*)\"(.*) ]]; do
        forms+=("${BASH_REMATCH[1]}")
        names=${BASH_REMATCH[2]}
      done
    done
    if [[ -n $vid ]]; then
      key=usb:$vid:$pid$serial
      adapters[$key]=$((${adapters[$key]:-0} + 1))
      usb+=("$key" "$interface")
    fi
  done < <("$program" ports --json 2>/dev/null)
  local i
  for ((i = 0; i < ${#usb[@]}; i += 2)); do
    key=${usb[i]}
    forms+=("$key")
    [[ $key == *:*:*:* ]] && forms+=("${key%:*}")
    # The ports of one adapter are told apart by their interface.
    ((${adapters[$key]} > 1)) && [[ -n ${usb[i + 1]} ]] && forms+=("$key:if${usb[i + 1]}")
  done
  local form
  for form in "${forms[@]}"; do
    [[ $form == "$typed"* ]] && printf '%s\n' "$prefix$form"
  done | sort -u
  [[ $typed == /* || $typed == .* ]] && compgen -f -- "$typed" | sed "s|^|$prefix|"
}

_bravelle_cli() {
  local line=${COMP_LINE:0:COMP_POINT}
  local -a words found=()
  read -r -a words <<<"$line"
  [[ -z $line || $line == *[[:space:]] ]] && words+=("")
  local cword=$((${#words[@]} - 1))
  local cur=${words[cword]} prev=
  ((cword > 0)) && prev=${words[cword - 1]}
  local program=${words[0]/#\~/$HOME}
  command -v -- "$program" >/dev/null 2>&1 || program=bravelle-cli
  local command=${words[1]-} options= valued= ended= typed=$cur option= i
  for ((i = 2; i < cword; i++)); do
    [[ ${words[i]} == -- ]] && ended=1
  done
  case $command in
)";

const char kCompletionTail[] = R"(  esac
  if ((cword == 1)); then
    mapfile -t found < <(compgen -W 'ports read watch help --help --version' -- "$cur")
  elif [[ $command == help ]]; then
    ((cword == 2)) && mapfile -t found < <(compgen -W 'ports read watch' -- "$cur")
  elif [[ -z $ended && $cur == --*=* && " $valued " == *" ${cur%%=*} "* ]]; then
    option=${cur%%=*}
    typed=${cur#*=}
    mapfile -t found < <(_bravelle_cli_value | sed "s|^|$option=|")
  elif [[ -z $ended && " $valued " == *" $prev "* ]]; then
    option=$prev
    mapfile -t found < <(_bravelle_cli_value)
  elif [[ -z $ended && $cur == -* ]]; then
    mapfile -t found < <(compgen -W "$options --help" -- "$cur")
  elif [[ $command == read || $command == watch ]]; then
    mapfile -t found < <(_bravelle_cli_ports "$program" "$cur")
  fi
  # Bash puts in only what follows the last word break of the word (":" and "=" are ones by default).
  local breaks=${COMP_WORDBREAKS//[^=:]/} tail=$cur
  [[ -n $breaks ]] && tail=${cur##*[$breaks]}
  COMPREPLY=("${found[@]#"${cur%"$tail"}"}")
}

complete -F _bravelle_cli bravelle-cli
)";

int BashCompletion() {
  std::string script = kCompletionHead;
  std::string values = "_bravelle_cli_value() {\n  case $option in\n";
  std::vector<std::string> seen;
  for (CliCommand command : kCommands) {
    std::string names, valued;
    for (const OptionHelp& option : CommandOptions(command, kEnglish)) {
      if (option.Name == "--") continue;
      names += (names.empty() ? "" : " ") + option.Name;
      if (option.Value.empty()) continue;
      valued += (valued.empty() ? "" : " ") + option.Name;
      bool known = false;
      for (const std::string& s : seen) known = known || s == option.Name;
      if (known) continue;
      seen.push_back(option.Name);
      values += "    " + option.Name + ") " + ValueCompletion(option.Value) + " ;;\n";
    }
    script +=
        std::string("    ") + CommandName(command) + ") options='" + names + "' valued='" + valued + "' ;;\n";
  }
  values += "  esac\n}\n\n";
  script += kCompletionTail;
  // The values go before the function that calls them.
  const size_t at = script.find("_bravelle_cli() {");
  script.insert(at, values);
  std::fputs(script.c_str(), stdout);
  return std::ferror(stdout) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "man" && argc == 4 && (std::strcmp(argv[2], "fr") == 0 || std::strcmp(argv[2], "en") == 0))
    return ManualPage(std::strcmp(argv[2], "en") == 0 ? 1 : 0, argv[3]);
  if (what == "bash-completion" && argc == 2) return BashCompletion();
  std::fputs("usage: bravelle-cli-docs man fr|en YYYY-MM-DD | bravelle-cli-docs bash-completion\n", stderr);
  return 64;
}
