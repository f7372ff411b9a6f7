// The C++ runtime's default terminate handler names the type of an uncaught
// exception by demangling it, which links the demangler and a full printf
// into every shipped file (about 65 KiB of the 32-bit ZORVA.DLL). Korvel
// catches every exception at its borders (the exports, the window
// procedures, main); should terminate run anyway, this handler ends the
// process as abort does, without the message.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
