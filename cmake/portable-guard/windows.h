// Portable code does not include windows.h: it belongs in the windows/ folders
// behind a small interface of the portable core.
#error "portable core code includes <windows.h>; move the Windows part to windows/"
