// Portable code does not include windef.h: it belongs in the windows/ folders
// behind a small interface of the portable core.
#error "portable core code includes <windef.h>; move the Windows part to windows/"
