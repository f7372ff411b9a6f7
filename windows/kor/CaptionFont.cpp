#include "CaptionFont.h"

#include <cstddef>
#include <cstring>
#include <initializer_list>

namespace korvel {

bool IsScalable(const LOGFONTA& font) {
  HDC dc = GetDC(nullptr);
  if (!dc) return false;
  bool scalable = false;
  if (HFONT made = CreateFontIndirectA(&font)) {
    HGDIOBJ old = SelectObject(dc, made);
    TEXTMETRICA metrics{};
    if (GetTextMetricsA(dc, &metrics))
      scalable = (metrics.tmPitchAndFamily & (TMPF_VECTOR | TMPF_TRUETYPE)) != 0;
    SelectObject(dc, old);
    DeleteObject(made);
  }
  ReleaseDC(nullptr, dc);
  return scalable;
}

LOGFONTA CaptionLogFont(int pixels) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTA font{};
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    font = metrics.lfSmCaptionFont;
  font.lfHeight = -pixels;  // negative: the characters' height, without the leading
  font.lfWidth = 0;
  font.lfWeight = FW_BOLD;
  if (font.lfFaceName[0] == '\0' || !IsScalable(font)) {
    std::strcpy(font.lfFaceName, "Microsoft Sans Serif");
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  }
  return font;
}

LOGFONTW MessageLogFont() {
  NONCLIENTMETRICSW metrics{};
  // Windows XP takes the structure only without its last field.
  for (UINT size : {static_cast<UINT>(sizeof metrics),
                    static_cast<UINT>(offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth))}) {
    metrics.cbSize = size;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, size, &metrics, 0))
      return metrics.lfMessageFont;
  }
  LOGFONTW font{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  return font;
}

}  // namespace korvel
