// Portable code does not include winuser.h: it belongs in the windows/ folders
// behind a small interface of the portable core.
#error "portable core code includes <winuser.h>; move the Windows part to windows/"
