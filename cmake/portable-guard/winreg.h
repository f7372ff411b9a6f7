// Portable code does not include winreg.h: it belongs in the windows/ folders
// behind a small interface of the portable core.
#error "portable core code includes <winreg.h>; move the Windows part to windows/"
