// Font matching from LOGFONT descriptions to QFont; see fontmatch.h.
#include "fontmatch.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kDefaultPixelSize = 13;

// Faces that Windows programs name and that are fixed-pitch there.
constexpr const char* kFixedFaces[] = {
    "FixedSys",  "Terminal",  "Courier",      "Courier New",   "Lucida Console", "Consolas",
    "MS Gothic", "MS Mincho", "ＭＳゴシック", "ＭＳ ゴシック", "ＭＳ明朝",       "ＭＳ 明朝",
};

QString FaceName(const LOGFONT& lf) {
    return QString::fromUtf8(lf.lfFaceName,
                             static_cast<qsizetype>(strnlen(lf.lfFaceName, LF_FACESIZE)));
}

int CellHeight(const QFont& font) {
    QFontMetrics fm(font);
    return fm.ascent() + fm.descent();
}

// The largest pixel size whose cell (ascent + descent) is at most cell pixels.
int PixelSizeForCell(QFont font, int cell) {
    font.setPixelSize(cell);
    const int measured = std::max(1, CellHeight(font));
    int size = std::clamp(cell * cell / measured, kMinFontPixelSize, kMaxFontPixelSize);
    for (int i = 0; i < 8 && size > kMinFontPixelSize; ++i) {
        font.setPixelSize(size);
        if (CellHeight(font) <= cell)
            break;
        --size;
    }
    for (int i = 0; i < 8 && size < kMaxFontPixelSize; ++i) {
        font.setPixelSize(size + 1);
        if (CellHeight(font) > cell)
            break;
        ++size;
    }
    return size;
}

} // namespace

bool IsKnownFixedFace(const char* face) {
    if (!face)
        return false;
    const QString name =
        QString::fromUtf8(face, static_cast<qsizetype>(strnlen(face, LF_FACESIZE))).trimmed();
    for (const char* fixed : kFixedFaces) {
        if (name.compare(QString::fromUtf8(fixed), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QFont FontFromLogFont(const LOGFONT& lf) {
    const QString face = FaceName(lf);
    const BYTE pitch = lf.lfPitchAndFamily & 0x03;
    const BYTE family = lf.lfPitchAndFamily & 0xF0;
    const bool fixed =
        pitch == FIXED_PITCH || family == FF_MODERN || IsKnownFixedFace(lf.lfFaceName);

    QFont font;
    QFont::StyleHint hint = QFont::SansSerif;
    QString generic = QStringLiteral("sans-serif");
    if (fixed) {
        hint = QFont::TypeWriter;
        generic = QStringLiteral("monospace");
    } else if (family == FF_ROMAN) {
        hint = QFont::Serif;
        generic = QStringLiteral("serif");
    }
    if (!face.isEmpty() && QFontDatabase::hasFamily(face))
        font.setFamilies({face});
    else
        font.setFamilies({generic});
    font.setStyleHint(hint);
    font.setFixedPitch(fixed);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setKerning(false);

    if (lf.lfWeight > 0)
        font.setWeight(static_cast<QFont::Weight>(std::clamp<LONG>(lf.lfWeight, 1, 1000)));
    else
        font.setWeight(QFont::Normal);
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);

    // 64-bit so that the most negative height cannot overflow when negated.
    const long long height = lf.lfHeight;
    int pixelSize = kDefaultPixelSize;
    if (height < 0)
        pixelSize = static_cast<int>(std::min<long long>(-height, kMaxFontPixelSize));
    else if (height > 0)
        pixelSize = PixelSizeForCell(
            font, static_cast<int>(std::min<long long>(height, kMaxFontPixelSize)));
    font.setPixelSize(std::max(pixelSize, kMinFontPixelSize));

    // A width asks for that average character width: stretch the face to it.
    if (lf.lfWidth > 0) {
        const int natural = QFontMetrics(font).averageCharWidth();
        if (natural > 0) {
            const long long stretch = (100LL * lf.lfWidth + natural / 2) / natural;
            font.setStretch(static_cast<int>(std::clamp<long long>(stretch, 1, 4000)));
        }
    }
    return font;
}
