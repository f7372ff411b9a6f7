// Portable code does not include commctrl.h: it belongs in the windows/ folders
// behind a small interface of the portable core.
#error "portable core code includes <commctrl.h>; move the Windows part to windows/"
