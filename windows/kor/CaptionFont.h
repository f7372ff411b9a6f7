// The fonts of KOR's bar: its tiny caption's and its input's.
#pragma once

#include <windows.h>

namespace korvel {

// A scalable bold font whose characters are `pixels` high: the system's
// small-caption font (Segoe UI on Windows 10 and 11, Tahoma on older ones)
// at that height. "MS Sans Serif", the look of the old captions, is a bitmap
// font on Windows whose smallest size is taller than the caption, which
// clipped the title; a face that is not scalable is replaced by "Microsoft
// Sans Serif", the TrueType font of that look.
LOGFONTA CaptionLogFont(int pixels);

// The system's message font (message boxes' and dialogs' text) at the DPI
// KOR runs at: the font of the input. Windows sizes it for the system DPI
// of a system-aware program. DEFAULT_GUI_FONT's when Windows does not tell.
LOGFONTW MessageLogFont();

// True when the font that GDI makes for this LOGFONT is TrueType or vector.
bool IsScalable(const LOGFONTA& font);

}  // namespace korvel
