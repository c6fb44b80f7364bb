// Turning a LOGFONT into a Qt font. A negative height is the character (em)
// height in pixels, a positive height the cell height (ascent plus descent),
// 0 a default size. Faces the machine lacks fall back, through fontconfig, to
// a fixed-pitch face when the description asks for one (fixed pitch, the
// modern family, or a face known to be fixed such as "FixedSys"), else to a
// serif or sans-serif face. Text is rendered without antialiasing and without
// kerning, so that measured widths add up as they do on the screen.
#pragma once

#include "wintypes.h"

#include <QFont>

// Pixel sizes are kept within this range whatever a stored description says.
constexpr int kMinFontPixelSize = 1;
constexpr int kMaxFontPixelSize = 1000;

QFont FontFromLogFont(const LOGFONT& lf);

// Whether the face name (up to LF_FACESIZE bytes, UTF-8) names a fixed-pitch
// face of the Windows world that this machine is unlikely to have.
bool IsKnownFixedFace(const char* face);
