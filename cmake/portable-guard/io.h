// Portable code does not include io.h: it belongs in the windows/ folders
// behind a small interface of the portable core.
#error "portable core code includes <io.h>; move the Windows part to windows/"
