// Portable code does not include winbase.h: it belongs in the windows/ folders
// behind a small interface of the portable core.
#error "portable core code includes <winbase.h>; move the Windows part to windows/"
