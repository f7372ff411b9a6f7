// Portable code that reaches for the Windows API: the build must refuse it.
#include <windows.h>
