// The command line's texts, French then English; non-ASCII letters are written as CP1252 byte
// escapes so that the bytes do not depend on the source file's encoding.
#include "text/CommandLineTexts.h"

#include "text/Utf8.h"

namespace {

const char* const kCliTexts[kCliTextCount][2] = {
    {"d\xE9j\xE0 lu", "read before"},                                         // TXT_CLI_READ_BEFORE
    {"%s : pas de port", "%s: no port"},                                      // TXT_CLI_FIXTURE_ABSENT
    {"%s : lecture", "%s: reading"},                                          // TXT_CLI_FIXTURE_READING
    {"%s : lu, attente du retrait", "%s: read, waiting for the unit to go"},  // TXT_CLI_FIXTURE_PRESENT
    {"La liste des ports s\xE9rie est illisible.",
     "The serial port list cannot be read."},  // TXT_CLI_LIST_UNREADABLE
    {"Aucun port s\xE9rie : branchez le c\xE2"
     "ble de l'appareil.",
     "There is no serial port: plug in the unit's cable."},  // TXT_CLI_NO_PORT
    {"Plusieurs ports et aucun n'est celui du c\xE2"
     "ble CP210x ; choisissez avec --port :",
     "Several ports and none of them the CP210x cable's; choose one with --port:"},  // TXT_CLI_SEVERAL_PORTS
    {"Plusieurs c\xE2"
     "bles CP210x sont branch\xE9s ; choisissez avec --port :",
     "Several CP210x cables are plugged in; choose one with --port:"},  // TXT_CLI_SEVERAL_PREFERRED
    {"Aucun port ne correspond \xE0 %s ; voyez les ports avec : bravelle-cli ports",
     "No port matches %s; see the ports with: bravelle-cli ports"},  // TXT_CLI_NO_MATCH
    {"Plusieurs ports correspondent \xE0 %s ; pr\xE9"
     "cisez avec --port :",
     "Several ports match %s; be more precise with --port:"},  // TXT_CLI_SEVERAL_MATCH
    {"%s est un nom de port Windows ; sous Linux, un port se nomme par son chemin, comme /dev/ttyUSB0 ou "
     "/dev/serial/by-id/... (voyez bravelle-cli ports)",
     "%s is a Windows port name; on Linux a port is named by its device path, such as /dev/ttyUSB0 or "
     "/dev/serial/by-id/... (see bravelle-cli ports)"},  // TXT_CLI_LINUX_PORT_NAMES
    {"location= d\xE9signe une prise USB sous Linux seulement ; ici, nommez le port (COM5) ou son adaptateur "
     "(usb:VID:PID[:S\xC9RIE])",
     "location= names a USB socket on Linux only; here, name the port (COM5) or its adapter "
     "(usb:VID:PID[:SERIAL])"},                                    // TXT_CLI_NO_LOCATION_HERE
    {"Le port %s est inutilisable :", "Cannot use the port %s:"},  // TXT_CLI_PORT_UNUSABLE
    {"Votre compte n'a pas le droit d'ouvrir le port : ajoutez-le au groupe %s",
     "Your account may not open the port: add it to the %s group"},  // TXT_CLI_ADVICE_GROUP
    {"(sudo usermod -aG %s $USER), puis reconnectez-vous.\n"
     "Ou installez le paquet bravelle-cli : sa r\xE8gle udev ouvre les ports des c\xE2"
     "bles CP210x \xE0\n"
     "l'utilisateur assis devant le poste, sans groupe (rebranchez le c\xE2"
     "ble une fois le paquet install\xE9).",
     "(sudo usermod -aG %s $USER), then log in again.\n"
     "Or install the bravelle-cli package: its udev rule opens the ports of CP210x cables to the\n"
     "user at the seat, with no group (plug the cable in again once the package is installed)."},  // TXT_CLI_ADVICE_GROUP_COMMAND
    {"Un autre programme tient le port ; ModemManager et brltty s'emparent souvent des",
     "Another program holds the port; ModemManager and brltty often grab USB serial"},  // TXT_CLI_ADVICE_BUSY
    {"ports s\xE9rie USB (sudo systemctl stop ModemManager ; sudo apt remove brltty).",
     "ports (sudo systemctl stop ModemManager; sudo apt remove brltty)."},  // TXT_CLI_ADVICE_BUSY_FIX
    {"Qui le tient : fuser -v %s", "Who holds it: fuser -v %s"},            // TXT_CLI_ADVICE_WHO
    {"Le port n'existe pas ou a disparu (c\xE2"
     "ble d\xE9"
     "branch\xE9 ?) ;",
     "The port does not exist or has vanished (cable unplugged?);"},  // TXT_CLI_ADVICE_MISSING
    {"rebranchez le c\xE2"
     "ble et voyez les ports avec : bravelle-cli ports",
     "plug the cable in again and see the ports with: bravelle-cli ports"},  // TXT_CLI_ADVICE_MISSING_FIX
    {"Ce n'est pas un port s\xE9rie ; voyez les ports avec : bravelle-cli ports",
     "This is not a serial port; see the ports with: bravelle-cli ports"},  // TXT_CLI_ADVICE_NOT_SERIAL
    {"Un autre programme tient le port ; fermez-le (Bravelle, un terminal s\xE9rie...).",
     "Another program holds the port; close it (Bravelle, a serial terminal...)."},  // TXT_CLI_ADVICE_BUSY_WINDOWS
    {"Aucun port s\xE9rie.", "No serial port."},                                     // TXT_CLI_PORTS_NONE
    {"auto : %s", "auto: %s"},                                                       // TXT_CLI_PORTS_AUTO
    {"auto : aucun (plusieurs ports, aucun pr\xE9"
     "f\xE9r\xE9 ; donnez --port)",
     "auto: none (several ports, none preferred; give --port)"},  // TXT_CLI_PORTS_AUTO_NONE
    {"auto : aucun (plusieurs ports CP210x ; donnez --port)",
     "auto: none (several CP210x ports; give --port)"},  // TXT_CLI_PORTS_AUTO_SEVERAL
    {"[pr\xE9"
     "f\xE9r\xE9]",
     "[preferred]"},  // TXT_CLI_PORTS_PREFERRED
    {"[console du syst\xE8me : jamais pris par auto]",
     "[system console: never taken by auto]"},  // TXT_CLI_PORTS_CONSOLE
    {"s\xE9rie %s", "serial %s"},               // TXT_CLI_PORTS_SERIAL
    {"location=%s", "location=%s"},             // TXT_CLI_PORTS_LOCATION
    {"interface %s", "interface %s"},           // TXT_CLI_PORTS_INTERFACE
    {"port n\xB0 %s", "port number %s"},        // TXT_CLI_PORTS_PORT_NUMBER
    {"bravelle-cli : impossible de cr\xE9"
     "er %s : %s",
     "bravelle-cli: cannot create %s: %s"},  // TXT_CLI_CANNOT_CREATE
    {"bravelle-cli : impossible d'\xE9"
     "crire %s : %s",
     "bravelle-cli: cannot write to %s: %s"},                                // TXT_CLI_CANNOT_WRITE
    {"sur la sortie standard", "standard output"},                           // TXT_CLI_STANDARD_OUTPUT
    {"dans le journal %s", "the log %s"},                                    // TXT_CLI_THE_LOG
    {"dans la trace %s", "the trace %s"},                                    // TXT_CLI_THE_TRACE
    {"dans le fichier CSV %s", "the CSV file %s"},                           // TXT_CLI_THE_CSV
    {"bravelle-cli : %s", "bravelle-cli: %s"},                               // TXT_CLI_USAGE_ERROR
    {"il manque la commande", "a command is needed"},                        // TXT_CLI_NEED_COMMAND
    {"commande inconnue \"%s\"", "unknown command \"%s\""},                  // TXT_CLI_UNKNOWN_COMMAND
    {"\"%s\" n'est pas une option de %s", "\"%s\" is not an option of %s"},  // TXT_CLI_NOT_AN_OPTION
    {"%s est donn\xE9 deux fois", "%s is given twice"},                      // TXT_CLI_GIVEN_TWICE
    {"%s demande une valeur", "%s needs a value"},                           // TXT_CLI_NEEDS_VALUE
    {"%s ne prend pas de valeur", "%s takes no value"},                      // TXT_CLI_TAKES_NO_VALUE
    {"--wait demande des secondes en nombre d\xE9"
     "cimal, comme 10 ou 2.5 (jusqu'\xE0 86400), pas \"%s\"",
     "--wait needs seconds as a plain decimal number, such as 10 or 2.5 (up to 86400), not \"%s\""},  // TXT_CLI_BAD_WAIT
    {"--lang prend fr ou en, pas \"%s\"", "--lang takes fr or en, not \"%s\""},  // TXT_CLI_BAD_LANG
    {"\"%s\" n'est pas un port USB : usb:VID:PID[:S\xC9RIE][:ifN], VID et PID en hexad\xE9"
     "cimal (usb:10c4:ea60)",
     "\"%s\" is not a USB port: usb:VID:PID[:SERIAL][:ifN], VID and PID in hex (usb:10c4:ea60)"},  // TXT_CLI_BAD_USB
    {"\"%s\" n'est pas une prise USB : location=BUS-PORT.PORT[:CONFIG.IF] (location=1-1.4:1.0)",
     "\"%s\" is not a USB socket: location=BUS-PORT.PORT[:CONFIG.IF] (location=1-1.4:1.0)"},  // TXT_CLI_BAD_LOCATION
    {"watch demande --log FICHIER ou --csv FICHIER",
     "watch needs --log FILE or --csv FILE"},  // TXT_CLI_WATCH_NEEDS_FILE
    {"auto ne se m\xEAle pas \xE0 d'autres ports : nommez le port de chaque poste",
     "auto cannot stand beside other ports: name the port of each fixture"},  // TXT_CLI_ONE_AUTO
    {"le port %s est donn\xE9 deux fois", "the port %s is given twice"},      // TXT_CLI_PORT_TWICE
    {"\"%s\" : read lit un seul port", "\"%s\": read reads one port"},        // TXT_CLI_TOO_MANY_OPERANDS
    {"%s ne prend rien apr\xE8s lui", "%s takes nothing after it"},           // TXT_CLI_HELP_TAKES_NOTHING
    {"%s\n"
     "\n"
     "Lit l'identit\xE9 d'un appareil Satellite de la KVR72 QLE par une liaison s\xE9rie.\n"
     "  ports   les ports s\xE9rie, les pr\xE9"
     "f\xE9r\xE9s (CP210x) marqu\xE9s, et celui que prend auto\n"
     "  read    une lecture : type, num\xE9ro de s\xE9rie, versions du circuit et du logiciel\n"
     "  watch   lit chaque appareil branch\xE9 sur un ou plusieurs postes, un relev\xE9 par appareil\n"
     "\n"
     "PORT est auto (par d\xE9"
     "faut : le seul port CP210x, sinon le seul port, jamais la\n"
     "console du syst\xE8me), un chemin de p\xE9riph\xE9rique (/dev/ttyUSB0, /dev/serial/by-id/...),\n"
     "COM5 sous Windows, usb:VID:PID[:S\xC9RIE][:ifN] (l'adaptateur, o\xF9 qu'il soit branch\xE9)\n"
     "ou location=BUS-PORT.PORT[:CONFIG.IF] (la prise USB, sous Linux).\n"
     "\n"
     "Codes de sortie : 0 lu ; 1 appareil d'un autre type ; 2 aucun appareil n'a r\xE9pondu ;\n"
     "3 l'appareil a cess\xE9 de r\xE9pondre ou a r\xE9pondu des caract\xE8res illisibles ; 4 le port\n"
     "est inutilisable ou ne peut \xEAtre choisi ; 5 version inattendue ; 64 erreur d'utilisation ;\n"
     "65 fichier CSV d'une autre forme ; 73 un fichier ne peut \xEAtre cr\xE9\xE9 ; 74 une \xE9"
     "criture a\n"
     "\xE9"
     "chou\xE9 ; 129, 130, 143 arr\xEAt par SIGHUP, SIGINT (Ctrl+C), SIGTERM.\n"
     "\"bravelle-cli COMMANDE --help\" d\xE9taille les options de chaque commande.\n",
     "%s\n"
     "\n"
     "Reads the identity of a Satellite de la KVR72 QLE unit over a serial line.\n"
     "  ports   the serial ports, the preferred (CP210x) ones marked, and the one auto takes\n"
     "  read    one reading: type check, serial number, circuit and software versions\n"
     "  watch   reads each unit plugged in on one or more fixtures, one record per unit\n"
     "\n"
     "PORT is auto (the default: the one CP210x port, else the one port there is, never\n"
     "the system's console), a device path (/dev/ttyUSB0, /dev/serial/by-id/...), COM5\n"
     "on Windows, usb:VID:PID[:SERIAL][:ifN] (the adapter, wherever it is plugged in)\n"
     "or location=BUS-PORT.PORT[:CONFIG.IF] (the USB socket, on Linux).\n"
     "\n"
     "Exit codes: 0 read; 1 a unit of another type; 2 no unit answered; 3 the unit\n"
     "stopped answering or answered garbage; 4 the port cannot be used or chosen;\n"
     "5 an unexpected version; 64 usage error; 65 a CSV file of another shape; 73 a file\n"
     "cannot be created; 74 a write failed; 129, 130, 143 ended by SIGHUP, SIGINT (Ctrl+C),\n"
     "SIGTERM.\n"
     "\"bravelle-cli COMMAND --help\" tells each command's options.\n"},  // TXT_CLI_HELP
    {"%s\n"
     "\n"
     "Liste les ports s\xE9rie dans l'ordre naturel (ttyUSB2 avant ttyUSB10) avec ce que le\n"
     "syst\xE8me sait de chacun : pilote, identifiants et textes USB ; sous Linux aussi\n"
     "l'interface et le num\xE9ro de port des adaptateurs \xE0 plusieurs ports, la prise USB\n"
     "(location=) et les noms /dev/serial qui m\xE8nent au port. \">\" marque le port que\n"
     "prend auto ; la console du syst\xE8me est signal\xE9"
     "e et jamais prise par auto.\n"
     "%s"
     "Codes de sortie : 0 list\xE9, 4 la liste est illisible, 64 erreur d'utilisation,\n"
     "74 une \xE9"
     "criture a \xE9"
     "chou\xE9.\n",
     "%s\n"
     "\n"
     "Lists the serial ports in natural order (ttyUSB2 before ttyUSB10) with what the\n"
     "system knows of each: driver, USB ids and strings; on Linux also the interface and\n"
     "port number on adapters with several ports, the USB socket (location=) and the\n"
     "/dev/serial names that lead to the port. \">\" marks the port auto takes; the\n"
     "system's console is marked and never taken by auto.\n"
     "%s"
     "Exit codes: 0 listed, 4 the list cannot be read, 64 usage error, 74 a write failed.\n"},  // TXT_CLI_HELP_PORTS
    {"%s\n"
     "\n"
     "\xC9tablit la liaison avec l'appareil jusqu'\xE0 ce qu'il r\xE9ponde ou que l'attente soit\n"
     "finie, v\xE9rifie que c'est un P04, lit son num\xE9ro de s\xE9rie et les versions du circuit\n"
     "et du logiciel, le lib\xE8re, ajoute le relev\xE9 aux fichiers puis affiche une ligne par\n"
     "valeur.\n"
     "%s"
     "Codes de sortie : 0 lu, 1 appareil d'un autre type, 2 aucun appareil n'a r\xE9pondu,\n"
     "3 l'appareil a cess\xE9 de r\xE9pondre ou a r\xE9pondu des caract\xE8res illisibles, 4 port\n"
     "inutilisable ou impossible \xE0 choisir, 5 version inattendue, 64 erreur d'utilisation,\n"
     "65 fichier CSV d'une autre forme, 73 un fichier ne peut \xEAtre cr\xE9\xE9, 74 une \xE9"
     "criture a\n"
     "\xE9"
     "chou\xE9, 129/130/143 SIGHUP/SIGINT/SIGTERM.\n",
     "%s\n"
     "\n"
     "Shakes hands with the unit until it answers or the wait is over, checks that it is\n"
     "a P04, reads its serial number, circuit and software versions, releases it, appends\n"
     "the record to the files, then prints one line per value.\n"
     "%s"
     "Exit codes: 0 read, 1 a unit of another type, 2 no unit answered, 3 the unit stopped\n"
     "answering or answered garbage, 4 the port cannot be used or chosen, 5 an unexpected\n"
     "version, 64 usage error, 65 a CSV file of another shape, 73 a file cannot be created,\n"
     "74 a write failed, 129/130/143 SIGHUP/SIGINT/SIGTERM.\n"},  // TXT_CLI_HELP_READ
    {"%s\n"
     "\n"
     "Surveille un poste par port, tous \xE0 la fois : attend un appareil (son port appara\xEEt\n"
     "ou il r\xE9pond \xE0 la liaison), le lit, ajoute son relev\xE9 au journal et au fichier CSV\n"
     "(\xE9"
     "crits sur le disque), affiche une ligne, et attend que cet appareil soit retir\xE9\n"
     "avant de lire le suivant. Un appareil dont le num\xE9ro de s\xE9rie est celui du relev\xE9\n"
     "pr\xE9"
     "c\xE9"
     "dent du m\xEAme poste est marqu\xE9 \"repeat\", celui d\xE9j\xE0 vu sur un autre poste\n"
     "\"duplicate\". Ctrl+C ou SIGTERM lib\xE8re chaque appareil et termine avec 0.\n"
     "%s"
     "Codes de sortie : 0 arr\xEAt par Ctrl+C ou SIGTERM, ou --count atteint, 4 plusieurs ports\n"
     "conviennent au PORT d'un poste, 64 erreur d'utilisation, 65 fichier CSV d'une autre\n"
     "forme, 73 un fichier ne peut \xEAtre cr\xE9\xE9, 74 un relev\xE9 n'a pu \xEAtre \xE9"
     "crit, 129 SIGHUP.\n",
     "%s\n"
     "\n"
     "Watches one fixture per port, all at once: waits for a unit (its port appears, or\n"
     "it answers the handshake), reads it, appends its record to the log and the CSV file\n"
     "(synced to the disk), prints one line, and waits until that unit is gone before it\n"
     "reads the next. A unit whose serial number equals the previous record's on the same\n"
     "fixture is marked \"repeat\", one seen last on another fixture \"duplicate\". Ctrl+C or\n"
     "SIGTERM releases every unit and ends with 0.\n"
     "%s"
     "Exit codes: 0 ended by Ctrl+C or SIGTERM, or --count reached, 4 several ports fit a\n"
     "fixture's PORT, 64 usage error, 65 a CSV file of another shape, 73 a file cannot be\n"
     "created, 74 a record could not be written, 129 SIGHUP.\n"},                     // TXT_CLI_HELP_WATCH
    {"utilisation :", "usage:"},                                                      // TXT_CLI_USAGE_WORD
    {"COMMANDE --help | --help | --version", "COMMAND --help | --help | --version"},  // TXT_CLI_USAGE_HELP
    {"fin des options : un port dont le nom commence par \"-\" peut suivre",
     "ends the options: a port whose name begins with \"-\" may follow"},         // TXT_CLI_OPT_END
    {"un tableau JSON, un objet par port", "a JSON array, one object per port"},  // TXT_CLI_OPT_JSON_PORTS
    {"langue des messages (sinon LC_ALL, LC_MESSAGES, LANG ;\nsous Windows le r\xE9glage du programme)",
     "language of the messages (otherwise LC_ALL, LC_MESSAGES, LANG;\non Windows the program's own "
     "settings)"},  // TXT_CLI_OPT_LANG
    {"le port, aussi en dernier argument : auto (par d\xE9"
     "faut), un chemin de p\xE9riph\xE9rique,\nCOM5, usb:VID:PID[:S\xC9RIE][:ifN], "
     "location=BUS-PORT.PORT[:CONFIG.IF]",
     "the port, also as the last argument: auto (default), a device path, COM5,\n"
     "usb:VID:PID[:SERIAL][:ifN], location=BUS-PORT.PORT[:CONFIG.IF]"},  // TXT_CLI_OPT_PORT_READ
    {"le port d'un poste, une fois par poste (auto par d\xE9"
     "faut) ; toute forme de read",
     "a fixture's port, once per fixture (default auto); any form read takes"},  // TXT_CLI_OPT_PORT_WATCH
    {"un poste nomm\xE9 (lettres, chiffres, - et _, 32 au plus) et son port, \xE0 la place\nde --port ; "
     "le nom va dans chaque relev\xE9",
     "a named fixture (letters, digits, - and _, at most 32) and its port, instead of\n--port; the name "
     "goes into each record"},  // TXT_CLI_OPT_FIXTURE
    {"dur\xE9"
     "e des essais de liaison, en nombre d\xE9"
     "cimal (10 par d\xE9"
     "faut ; 0 essaie une fois)",
     "how long to try the handshake, a decimal number (default 10; 0 tries once)"},  // TXT_CLI_OPT_WAIT
    {"un objet JSON sur la sortie standard au lieu des lignes",
     "one JSON object on standard output instead of the lines"},  // TXT_CLI_OPT_JSON_READ
    {"chaque octet de la ligne : secondes, H>U ou U>H, valeur hexad\xE9"
     "cimale\n(- pour la sortie d'erreur)",
     "every byte on the line: seconds, H>U or U>H, hex value (- for standard error)"},  // TXT_CLI_OPT_TRACE
    {"ajoute chaque relev\xE9 JSON au FICHIER, \xE9"
     "crit sur le disque (- : sortie standard)",
     "appends each JSON record to FILE, synced to the disk (-: standard output)"},  // TXT_CLI_OPT_LOG
    {"ajoute chaque relev\xE9 au FICHIER en CSV, avec une ligne d'en-t\xEAte s'il est nouveau",
     "appends each record to FILE as CSV, with a header line when the file is new"},  // TXT_CLI_OPT_CSV
    {"s\xE9parateur d'un nouveau fichier CSV (, par d\xE9"
     "faut ; ; pour un tableur en fran\xE7"
     "ais)",
     "the separator of a new CSV file (, by default; ; for a spreadsheet set to French)"},  // TXT_CLI_OPT_SEPARATOR
    {"version du logiciel attendue ; une autre donne \"rejected\" (r\xE9p\xE9table)",
     "the software version expected; another gives \"rejected\" (repeatable)"},  // TXT_CLI_OPT_EXPECT_SOFTWARE
    {"version du circuit attendue ; une autre donne \"rejected\" (r\xE9p\xE9table)",
     "the circuit version expected; another gives \"rejected\" (repeatable)"},  // TXT_CLI_OPT_EXPECT_CIRCUIT
    {"lance COMMANDE apr\xE8s chaque relev\xE9 \xE9"
     "crit, le relev\xE9 dans BRAVELLE_RECORD et\nsur son entr\xE9"
     "e standard (30 s au plus)",
     "runs COMMAND once each record is written, the record in BRAVELLE_RECORD and on\n"
     "its standard input (30 s at most)"},  // TXT_CLI_OPT_EXEC
    {"termine avec 0 apr\xE8s N relev\xE9s (tous postes confondus)",
     "ends with 0 after N records (all fixtures together)"},  // TXT_CLI_OPT_COUNT
    {"une trace par lecture dans DOSSIER : POSTE-S\xC9RIE-HEURE.trace",
     "one trace per reading in DIR: FIXTURE-SERIAL-UTCTIME.trace"},  // TXT_CLI_OPT_TRACE_DIR
    {"\"%s\" n'est pas un poste : NOM=PORT, NOM en lettres, chiffres, - et _ (32 au plus)",
     "\"%s\" is not a fixture: NAME=PORT, NAME in letters, digits, - and _ (at most 32)"},  // TXT_CLI_BAD_FIXTURE
    {"le poste %s est donn\xE9 deux fois", "the fixture %s is given twice"},  // TXT_CLI_FIXTURE_TWICE
    {"%s prend MAJEUR.MINEUR (comme 1.12), pas \"%s\"",
     "%s takes MAJOR.MINOR (such as 1.12), not \"%s\""},  // TXT_CLI_BAD_SOFTWARE
    {"%s prend un nombre de 0 \xE0 255, pas \"%s\"",
     "%s takes a number from 0 to 255, not \"%s\""},  // TXT_CLI_BAD_CIRCUIT
    {"--csv-separator prend , ou ;, pas \"%s\"",
     "--csv-separator takes , or ;, not \"%s\""},  // TXT_CLI_BAD_SEPARATOR
    {"--count prend un nombre entier positif, pas \"%s\"",
     "--count takes a whole number above 0, not \"%s\""},                           // TXT_CLI_BAD_COUNT
    {"%s est donn\xE9 \xE0 deux options (%s)", "%s is given to two options (%s)"},  // TXT_CLI_SAME_FILE
    {"%s et %s vont tous deux sur la sortie standard",
     "%s and %s both go to standard output"},  // TXT_CLI_BOTH_STDOUT
    {"bravelle-cli : %s est un fichier CSV d'une autre forme (%s) ; rien n'a \xE9t\xE9 lu ni ajout\xE9.",
     "bravelle-cli: %s is a CSV file of another shape (%s); nothing was read or appended."},  // TXT_CLI_FOREIGN_CSV
    {"colonne %d : \"%s\" au lieu de \"%s\"",
     "column %d is \"%s\" where ours is \"%s\""},                   // TXT_CLI_HEADER_COLUMN
    {"%d colonnes au lieu de %d", "%d columns where ours has %d"},  // TXT_CLI_HEADER_COUNT
    {"bravelle-cli : --exec %s : %s ; le relev\xE9 est \xE9"
     "crit.",
     "bravelle-cli: --exec %s: %s; the record is written."},  // TXT_CLI_HOOK_FAILED
    {"la commande n'a pu \xEAtre lanc\xE9"
     "e",
     "the command could not be run"},  // TXT_CLI_HOOK_NOT_RUN
    {"arr\xEAt\xE9"
     "e apr\xE8s %d s",
     "ended after %d s"},  // TXT_CLI_HOOK_TIMED_OUT
    {"termin\xE9"
     "e avec le code %d",
     "ended with code %d"},                                                   // TXT_CLI_HOOK_STATUS
    {"d\xE9j\xE0 lu sur un autre poste", "already read on another fixture"},  // TXT_CLI_DUPLICATE
    {"%s et %s sont un seul port : un poste par port",
     "%s and %s are one port: one fixture per port"},  // TXT_CLI_SAME_DEVICE
};

}  // namespace

const char* Text(CliText id, uint32_t language) { return TextOfTable(kCliTexts, id, language); }
