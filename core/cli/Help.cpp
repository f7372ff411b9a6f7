// The texts of korvel --help and korvel COMMAND --help.
#include <map>

#include "CommandLine.h"

namespace korvel::cli {

const char kUsage[] =
    "usage: korvel [--store PATH] COMMAND [ARGUMENTS]\n"
    "\n"
    "Answers the password challenges of packet-radio nodes and mailboxes from\n"
    "the client passwords that the Korvel library keeps.\n"
    "\n"
    "commands:\n"
    "  reply [TEXT] [--copy]   answer a received line (without TEXT: each line of stdin)\n"
    "  list                    the client passwords: position, TAG, type, prompt\n"
    "  show TAG [--reveal]     one client password (its password only with --reveal)\n"
    "  add TAG --type TYPE --prompt TEXT [--matrix-len N] [--reply-line TEMPLATE]\n"
    "          [--trigger WORD]\n"
    "                          a new client password; the password is asked for\n"
    "  set TAG [--type TYPE] [--prompt TEXT] [--matrix-len N] [--reply-line TEMPLATE]\n"
    "          [--trigger WORD] [--password]\n"
    "                          change a client password (--password asks for a new one)\n"
    "  rename OLD NEW          give a client password another TAG\n"
    "  delete TAG              remove a client password\n"
    "  export [FILE]           the client passwords as a REGEDIT4 file (default: stdout)\n"
    "  import FILE [--yes]     replace the client passwords by those of an export file\n"
    "  where                   where the client passwords are kept, and whose they are\n"
    "  session [--auto] [--key KEY] [--log FILE] -- COMMAND [ARGS]\n"
    "                          run COMMAND (telnet, axcall, ssh ...) in this terminal\n"
    "                          and offer the reply to each challenge it receives (Linux)\n"
    "\n"
    "TYPE: matrix (positions from 1), matrix0 (positions from 0), md2, md5,\n"
    "nos-md5, itanet, flexnet or flexnet-digits. --store PATH uses the store file\n"
    "PATH instead of the library's store. korvel COMMAND --help tells more.\n";

namespace {

const std::map<std::string, std::string> kCommandHelp = {
    {"reply",
     "usage: korvel reply [TEXT] [--copy]\n"
     "Answers TEXT as KOR's Enter does and prints the reply. Without TEXT each line\n"
     "of standard input is answered on a line of its own (an empty line when there\n"
     "is no answer). --copy also puts the reply on the clipboard. Exit 1 and\n"
     "\"No password found!\" when TEXT gets no reply.\n"
     "The client passwords whose prompts occur in TEXT are tried in list order, so\n"
     "one prompt may be stored for several types (a node's matrix and MD5 logins):\n"
     "the first that answers replies, but a matrix only when a number follows its\n"
     "prompt or no later one answers.\n"},
    {"list",
     "usage: korvel list\n"
     "The client passwords in list order: position, TAG, type, prompt. The type is\n"
     "shown as the store keeps it: M and the matrix length (matrix), 0M and the\n"
     "length (matrix0), MD2, MD5, NOSMD5 (nos-md5), ITANET, FLEXNET or SYDIGITS\n"
     "(flexnet-digits). Control characters in TAGs and prompts are shown escaped:\n"
     "\\t, \\n, \\r, \\xNN (also for 0x80-0x9F), and a backslash as \\\\.\n"},
    {"show",
     "usage: korvel show TAG [--reveal]\n"
     "One client password; --reveal also prints its password. Control characters\n"
     "are shown escaped as list shows them.\n"},
    {"add",
     "usage: korvel add TAG --type TYPE --prompt TEXT [--matrix-len N]\n"
     "                  [--reply-line TEMPLATE] [--trigger WORD]\n"
     "Adds a client password. The password is read from the terminal without echo,\n"
     "or as one line of standard input. TYPE matrix and matrix0 need --matrix-len\n"
     "(1 to 99). --reply-line is the line korvel session types for the reply, %s\n"
     "standing for the reply and %% for a percent sign: \"PASSWORD %s\" for BPQ,\n"
     "\"@ %s\" for XRouter; without it the bare reply is typed. --trigger WORD is a\n"
     "command of yours that asks this node for a challenge, for korvel session's\n"
     "--auto (besides sys, sysop, priv, password, sy and @). The types:\n"
     "  matrix          NET/ROM matrix, positions counted from 1 (BPQ, TheNetNode,\n"
     "                  OpenBCM, FBB, axspawn, URONode); the password is the template\n"
     "  matrix0         the matrix with positions counted from 0 (DXSpider, XRouter);\n"
     "                  an empty prompt answers a bare line of numbers\n"
     "  md2, md5        hex digest of the challenge and the password; md5 takes the\n"
     "                  challenge in <...>, else in [...]; md2 in [...], else in <...>\n"
     "  nos-md5         JNOS: MD5 of the hexadecimal number in [...] as four bytes,\n"
     "                  least significant first, and the password\n"
     "  itanet, flexnet weighted sums of the five numbers after the prompt\n"
     "  flexnet-digits  FlexNet SY: the password is a five-digit code; the reply is\n"
     "                  the sum of each digit of the five-digit challenge times the\n"
     "                  code's digit at the same place\n"},
    {"set",
     "usage: korvel set TAG [--type TYPE] [--prompt TEXT] [--matrix-len N]\n"
     "                  [--reply-line TEMPLATE] [--trigger WORD] [--password]\n"
     "Changes a client password; --password reads a new password as add does.\n"
     "--reply-line \"\" goes back to typing the bare reply, --trigger \"\" to the\n"
     "built-in triggers.\n"},
    {"session",
     "usage: korvel session [--auto] [--key KEY] [--log FILE] -- COMMAND [ARGS...]\n"
     "Runs COMMAND (telnet, axcall, call, nc, ssh ...) in a pseudo-terminal inside\n"
     "this terminal and passes everything through both ways. Each line it receives\n"
     "(a prompt without a line end once its challenge is whole and nothing more\n"
     "comes for a moment) goes through the automatic reply of korvel reply. When a\n"
     "line gets a reply, a status line names the client password's TAG and prompt\n"
     "(never the reply), and KEY (default Ctrl-G) types the reply into the\n"
     "connection, in the record's --reply-line, followed by CR.\n"
     "What the far end prints may come from anyone, so korvel types only what you\n"
     "asked for or accepted: KEY types an offer once it has stood on the screen for\n"
     "half a second, as your terminal reports (it is drawn again after the far end's\n"
     "output, which cannot cover or blank it); from the third reply for one client\n"
     "password KEY is pressed twice; nothing goes into a half-typed line; an empty\n"
     "prompt is offered only after a trigger; the terminal's own reports are never\n"
     "your typing or KEY. An offer lapses after 60 seconds or at the next challenge;\n"
     "while none stands KEY passes through.\n"
     "  --auto      type the reply without KEY for the first challenge after you\n"
     "              asked for one: within 30 s of a line whose first word is a\n"
     "              trigger (sys, sysop, priv, password, sy, @, or the record's\n"
     "              --trigger), and at the start and after a c or connect line\n"
     "  --key KEY   a control key, ^X or ctrl-x (not ESC, Tab, Enter, Backspace,\n"
     "              DEL or Ctrl-], telnet's escape)\n"
     "  --log FILE  append the received lines to FILE, escaped, without a reply\n"
     "              korvel typed (a regular file, not a link; mode 0600)\n"
     "  --quiet-ms N  a partial line counts after N ms without text (default 400)\n"
     "  --offer-ms N  an offer lapses after N ms (default 60000)\n"
     "  --asked-ms N  a trigger asks for N ms (default 30000)\n"
     "When the far end stops reading, korvel goes on; after 3 s Ctrl-] twice hangs\n"
     "the connection up. The exit status is COMMAND's. Standard input must be a\n"
     "terminal; the list of client passwords is read once, when the session\n"
     "starts. Linux and other POSIX systems only.\n"},
    {"rename",
     "usage: korvel rename OLD NEW\nRefuses a TAG already in the list, whatever its letter "
     "case.\n"},
    {"delete", "usage: korvel delete TAG\n"},
    {"export",
     "usage: korvel export [FILE]\n"
     "Writes the client passwords as a REGEDIT4 file, to FILE or stdout. FILE is\n"
     "replaced whole once the new export is complete, readable by its owner only.\n"},
    {"import",
     "usage: korvel import FILE [--yes]\n"
     "Replaces the client passwords by those of FILE: REGEDIT4, or the UTF-16\n"
     "\"Windows Registry Editor Version 5.00\" files of reg export. Nothing changes\n"
     "unless the whole file reads cleanly and every record is complete. On a\n"
     "terminal it asks first; --yes does not ask.\n"},
    {"where",
     "usage: korvel where\n"
     "Tells where the client passwords are kept and whose list it is. On Windows\n"
     "that is the list of every user of the computer, or, for an account that may\n"
     "not change it, a copy of the account's own made by its first change.\n"},
};

}  // namespace

const char* CommandHelp(const std::string& command) {
  auto help = kCommandHelp.find(command);
  return help == kCommandHelp.end() ? nullptr : help->second.c_str();
}

}  // namespace korvel::cli
