// CDC text: TextOut placed by the text alignment, DrawText in a rectangle,
// DrawState (plain and embossed disabled text), measuring and metrics. A text
// cell is the advance width of the string by ascent + descent of the font.
#include "dc.h"

#include "dcraster.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

QString ToQString(const char* text, int length) {
    if (!text)
        return {};
    if (length < 0)
        length = static_cast<int>(std::strlen(text));
    return QString::fromUtf8(text, length);
}

// Removes the '&' prefixes: "&&" stands for '&', "&x" underlines x. Returns
// the position of the underlined character in the result, or -1.
QString StripPrefixes(const QString& text, int* underline) {
    QString out;
    out.reserve(text.size());
    *underline = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
            ++i;
            if (text[i] != QLatin1Char('&'))
                *underline = static_cast<int>(out.size());
        } else if (text[i] == QLatin1Char('&')) {
            continue;
        }
        out += text[i];
    }
    return out;
}

struct TextLine {
    QString text;
    int underline = -1;
    int width = 0;
};

// Greedy word wrapping at blanks; a word wider than the width keeps a line of
// its own.
std::vector<QString> WrapLine(const QString& line, int width, const QFontMetrics& fm, bool prefix) {
    auto measure = [&](const QString& s) {
        int ignored = -1;
        return fm.horizontalAdvance(prefix ? StripPrefixes(s, &ignored) : s);
    };
    std::vector<QString> out;
    const QStringList words = line.split(QLatin1Char(' '));
    QString current;
    for (const QString& word : words) {
        const QString candidate = current.isEmpty() ? word : current + QLatin1Char(' ') + word;
        if (!current.isEmpty() && measure(candidate) > width) {
            out.push_back(current);
            current = word;
        } else {
            current = candidate;
        }
    }
    out.push_back(current);
    return out;
}

} // namespace

CFontMetrics::Shaped* CDC::RememberedGlyphs(CFontMetrics& metrics, const QPainter& painter,
                                            const QString& text) {
    // The painter's font is the selected one resolved for the image (a
    // painter on another device resolves it against that device's own font),
    // glyphs land where drawText puts them only without a transform, and
    // drawText draws the font's lines by its own measure.
    const QFont& font = painter.font();
    if (m_target == Target::Painter || !painter.deviceTransform().isIdentity() ||
        font.underline() || font.strikeOut() || font.overline())
        return nullptr;
    return metrics.Glyphs(text, font, painter.device()->logicalDpiY(), painter.layoutDirection());
}

bool CDC::DrawGlyphPixels(const QPainter& painter, CFontMetrics::Shaped& text, const QPoint& origin,
                          COLORREF color, const RECT* clip, const QRect& area) {
    // The pixels stand for the glyphs drawn in the pen's colour over what is
    // there, as a painter without antialiasing, blending or opacity draws them.
    if (painter.testRenderHint(QPainter::TextAntialiasing) ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver ||
        painter.opacity() != 1.0)
        return false;
    // Only the area of the text leaves a held-back fill, as for the painter;
    // nothing is learnt for a surface the pixels cannot be set on.
    DcRaster raster;
    if (!DirectRaster(raster, false, &area))
        return false;
    const std::vector<QPoint>* pixels = CFontMetrics::GlyphPixels(text);
    if (!pixels)
        return false;
    QRect cut(0, 0, raster.width, raster.height);
    if (clip)
        cut &= QRect(clip->left, clip->top, clip->right - clip->left, clip->bottom - clip->top);
    const std::uint32_t value = PixelValue(color);
    for (const QPoint& offset : *pixels) {
        const QPoint at = origin + offset;
        if (cut.contains(at))
            raster.At(at.x(), at.y()) = value;
    }
    return true;
}

void CDC::DrawTextLine(int left, int top, const QString& text, int width, int underlineIndex,
                       COLORREF color, bool opaque, const RECT* clip) {
    const QFontMetrics& fm = m_metrics->Get();
    const int ascent = fm.ascent();
    const int height = ascent + fm.descent();
    CRect cell(left, top, left + width, top + height);
    if (clip && !cell.IntersectRect(cell, *clip))
        return;
    // An embossed text is drawn twice; it is one text.
    if (m_textLog && !text.isEmpty() && (m_textLog->empty() || m_textLog->back() != text))
        m_textLog->push_back(text);
    if (opaque)
        FillColor(cell.left, cell.top, cell.right, cell.bottom, m_bkColor);
    // On a surface with more device pixels than logical units the glyphs are
    // drawn in device pixels, in the font at the device size; the cell, the
    // clip and the origin are the device pixels of the logical ones.
    const bool identity = IsIdentityMapping();
    const bool device = m_ratio != 1.0 && identity;
    CFontMetrics& glyphMetrics = device ? m_metrics->Scaled(m_ratio) : *m_metrics;
    const QFontMetrics& gfm = glyphMetrics.Get();
    auto place = [&](int left, int top, int right, int bottom) {
        return device ? DeviceRect(left, top, right, bottom)
                      : QRect(left, top, right - left, bottom - top);
    };
    // Glyphs stay well within a line height and the widest character of
    // their cell (overhangs, accents, the underline).
    const int margin = std::max(gfm.ascent() + gfm.descent(), gfm.maxWidth());
    QRect area = place(cell.left, cell.top, cell.right, cell.bottom)
                     .adjusted(-margin, -margin, margin, margin);
    QRect clipArea;
    RECT glyphClip{};
    if (clip) {
        clipArea = place(clip->left, clip->top, clip->right, clip->bottom);
        area &= clipArea;
        glyphClip = {clipArea.left(), clipArea.top(), clipArea.right() + 1, clipArea.bottom() + 1};
    }
    QPainter* painter = Painter(identity ? &area : nullptr);
    if (!painter)
        return;
    const bool saved = clip || device;
    if (saved)
        painter->save();
    if (device)
        painter->setWorldTransform(QTransform::fromScale(1 / m_ratio, 1 / m_ratio));
    if (clip)
        painter->setClipRect(clipArea, Qt::IntersectClip);
    painter->setFont(device ? glyphMetrics.Font() : m_qfont);
    painter->setPen(PaintColor(color));
    const QPoint origin = place(left, top + ascent, left, top + ascent).topLeft();
    if (CFontMetrics::Shaped* remembered = RememberedGlyphs(glyphMetrics, *painter, text)) {
        if (underlineIndex >= 0 || !DrawGlyphPixels(*painter, *remembered, origin, color,
                                                    clip ? &glyphClip : nullptr, area)) {
            for (const QGlyphRun& run : remembered->runs)
                painter->drawGlyphRun(origin, run);
        }
    } else {
        painter->drawText(origin, text);
    }
    if (underlineIndex >= 0 && underlineIndex < text.size()) {
        const int x = origin.x() + gfm.horizontalAdvance(text.left(underlineIndex));
        const int w = gfm.horizontalAdvance(text.mid(underlineIndex, 1));
        const int y = origin.y() + std::max(1, gfm.underlinePos());
        painter->fillRect(QRect(x, y, w, std::max(1, gfm.lineWidth())), PaintColor(color));
    }
    if (saved)
        painter->restore();
}

BOOL CDC::TextOut(int x, int y, const char* text, int length) {
    if (!text || length < 0)
        return FALSE;
    const QString s = ToQString(text, length);
    const QFontMetrics& fm = m_metrics->Get();
    const int cx = m_metrics->Advance(s);
    const int ascent = fm.ascent();
    const int cy = ascent + fm.descent();
    const bool updateCP = (m_textAlign & TA_UPDATECP) != 0;
    if (updateCP) {
        x = m_position.x;
        y = m_position.y;
    }
    int left = x;
    const UINT horizontal = m_textAlign & TA_CENTER;
    if (horizontal == TA_CENTER)
        left = x - cx / 2;
    else if (horizontal & TA_RIGHT)
        left = x - cx;
    int top = y;
    const UINT vertical = m_textAlign & TA_BASELINE;
    if (vertical == TA_BASELINE)
        top = y - ascent;
    else if (vertical & TA_BOTTOM)
        top = y - cy;
    DrawTextLine(left, top, s, cx, -1, m_textColor, m_bkMode == OPAQUE, nullptr);
    if (updateCP) {
        if (horizontal == TA_LEFT)
            m_position.x = x + cx;
        else if (horizontal == TA_RIGHT)
            m_position.x = x - cx;
    }
    return TRUE;
}

BOOL CDC::TextOut(int x, int y, const CString& text) {
    return TextOut(x, y, text.c_str(), text.GetLength());
}

int CDC::DrawText(const char* text, int length, RECT* rect, UINT format) {
    if (!text || !rect)
        return 0;
    const QString all = ToQString(text, length);
    const QFontMetrics& fm = m_metrics->Get();
    const int lineHeight = fm.ascent() + fm.descent();
    const bool prefix = (format & DT_NOPREFIX) == 0;
    const bool single = (format & DT_SINGLELINE) != 0;

    std::vector<QString> raw;
    if (single) {
        QString line = all;
        line.remove(QLatin1Char('\r'));
        line.remove(QLatin1Char('\n'));
        raw.push_back(line);
    } else {
        QString normalized = all;
        normalized.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        normalized.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        for (const QString& line : normalized.split(QLatin1Char('\n'))) {
            if (format & DT_WORDBREAK) {
                for (QString& part : WrapLine(line, rect->right - rect->left, fm, prefix))
                    raw.push_back(std::move(part));
            } else {
                raw.push_back(line);
            }
        }
    }

    std::vector<TextLine> lines;
    int maxWidth = 0;
    for (const QString& line : raw) {
        TextLine tl;
        tl.text = prefix ? StripPrefixes(line, &tl.underline) : line;
        tl.width = m_metrics->Advance(tl.text);
        maxWidth = std::max(maxWidth, tl.width);
        lines.push_back(std::move(tl));
    }
    const int total = lineHeight * static_cast<int>(lines.size());
    if (format & DT_CALCRECT) {
        rect->right = rect->left + maxWidth;
        rect->bottom = rect->top + total;
        return total;
    }

    int top = rect->top;
    if (single && (format & DT_VCENTER))
        top = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
    else if (single && (format & DT_BOTTOM))
        top = rect->bottom - lineHeight;
    const RECT* clip = (format & DT_NOCLIP) ? nullptr : rect;
    for (const TextLine& line : lines) {
        int left = rect->left;
        if (format & DT_CENTER)
            left = rect->left + (rect->right - rect->left - line.width) / 2;
        else if (format & DT_RIGHT)
            left = rect->right - line.width;
        DrawTextLine(left, top, line.text, line.width, line.underline, m_textColor,
                     m_bkMode == OPAQUE, clip);
        top += lineHeight;
    }
    return top - rect->top;
}

int CDC::DrawText(const CString& text, RECT* rect, UINT format) {
    return DrawText(text.c_str(), text.GetLength(), rect, format);
}

CSize CDC::GetTextExtent(const char* text, int length) const {
    const QFontMetrics& fm = m_metrics->Get();
    return CSize(m_metrics->Advance(ToQString(text, length)), fm.ascent() + fm.descent());
}

CSize CDC::GetTextExtent(const CString& text) const {
    return GetTextExtent(text.c_str(), text.GetLength());
}

BOOL CDC::GetTextExtentPoint32(const char* text, int length, SIZE* size) const {
    if (!text || !size || length < 0)
        return FALSE;
    *size = GetTextExtent(text, length);
    return TRUE;
}

BOOL CDC::GetTextMetrics(TEXTMETRIC* metrics) const {
    if (!metrics)
        return FALSE;
    const QFontMetrics& fm = m_metrics->Get();
    const QFontInfo info(m_qfont);
    TEXTMETRIC tm;
    tm.tmAscent = fm.ascent();
    tm.tmDescent = fm.descent();
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmInternalLeading = std::max(0, tm.tmHeight - info.pixelSize());
    tm.tmExternalLeading = std::max(0, fm.leading());
    tm.tmAveCharWidth = fm.averageCharWidth();
    tm.tmMaxCharWidth = fm.maxWidth();
    tm.tmWeight = m_qfont.weight();
    tm.tmItalic = m_qfont.italic() ? 1 : 0;
    tm.tmUnderlined = m_qfont.underline() ? 1 : 0;
    tm.tmStruckOut = m_qfont.strikeOut() ? 1 : 0;
    // As in GDI, the low bit is set for a variable-pitch font.
    tm.tmPitchAndFamily = info.fixedPitch() ? 0 : 1;
    *metrics = tm;
    return TRUE;
}

BOOL CDC::DrawState(CPoint point, CSize size, const char* text, UINT flags, BOOL prefixText,
                    int length, CBrush* brush) {
    (void)brush;
    if (!text)
        return FALSE;
    const UINT kind = flags & 0x000F;
    if (kind != 0 && kind != DST_TEXT && kind != DST_PREFIXTEXT)
        return FALSE;
    const QString raw = ToQString(text, length > 0 ? length : -1);
    int underline = -1;
    const bool prefix = kind == DST_PREFIXTEXT || (kind == 0 && prefixText);
    const QString shown = prefix ? StripPrefixes(raw, &underline) : raw;
    const QFontMetrics& fm = m_metrics->Get();
    const int width = m_metrics->Advance(shown);
    if (size.cx == 0 || size.cy == 0)
        size = CSize(width, fm.ascent() + fm.descent());
    if (flags & DSS_DISABLED) {
        const RECT lit{point.x + 1, point.y + 1, point.x + 1 + size.cx, point.y + 1 + size.cy};
        DrawTextLine(point.x + 1, point.y + 1, shown, width, underline,
                     GetSysColor(COLOR_BTNHIGHLIGHT), false, &lit);
        const RECT box{point.x, point.y, point.x + size.cx, point.y + size.cy};
        DrawTextLine(point.x, point.y, shown, width, underline, GetSysColor(COLOR_BTNSHADOW), false,
                     &box);
    } else {
        const RECT box{point.x, point.y, point.x + size.cx, point.y + size.cy};
        DrawTextLine(point.x, point.y, shown, width, underline, m_textColor, false, &box);
    }
    return TRUE;
}

BOOL CDC::DrawState(CPoint point, CSize size, const CString& text, UINT flags, BOOL prefixText,
                    int length, CBrush* brush) {
    return DrawState(point, size, text.c_str(), flags, prefixText,
                     length > 0 ? std::min(length, text.GetLength()) : text.GetLength(), brush);
}
