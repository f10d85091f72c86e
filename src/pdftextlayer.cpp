#include "pdftextlayer.h"

#include "glyphlessfont.h"
#include "pdfupdate.h"
#include "textruns.h"

#include <algorithm>

namespace PdfTextLayer {

namespace {

QByteArray num(double v)
{
    QByteArray s = QByteArray::number(v, 'f', 3);
    while (s.contains('.') && (s.endsWith('0') || s.endsWith('.')))
        s.chop(1);
    return s == "-0" ? QByteArray("0") : s;
}

// Character codes are UTF-16 code units and name the same CIDs; characters
// beyond them (pairs of surrogates) are left out, as the map cannot say them.
// *ems: the text's width in ems, as the font's widths give it.
QByteArray hexCodes(const QString& text, double* ems)
{
    QByteArray hex;
    *ems = 0;
    for (QChar c : text) {
        if (c.isSurrogate())
            continue;
        hex += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
        *ems += TextRuns::isWide(c) ? 1.0 : double(GlyphlessFont::kAdvance) / GlyphlessFont::kUnitsPerEm;
    }
    return hex;
}

// The widths the layer's font gives: a full em for wide characters, half
// an em (the default) for the rest.
QByteArray wideWidths()
{
    QByteArray w = "[";
    for (const TextRuns::Range& r : TextRuns::kWide)
        w += ' ' + QByteArray::number(r.first) + ' ' + QByteArray::number(r.last) + ' '
            + QByteArray::number(GlyphlessFont::kUnitsPerEm);
    return w + " ]";
}

// Every two-byte code means the Unicode character of the same value, in
// ranges that keep to one high byte each.
QByteArray toUnicodeMap()
{
    QByteArray cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    for (int block = 0; block < 256; block += 100) {
        const int n = std::min(100, 256 - block);
        cmap += QByteArray::number(n) + " beginbfrange\n";
        for (int high = block; high < block + n; ++high) {
            const QByteArray h = QByteArray::number(high, 16).rightJustified(2, '0').toUpper();
            cmap += '<' + h + "00> <" + h + "FF> <" + h + "00>\n";
        }
        cmap += "endbfrange\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return cmap;
}

QByteArray pageText(const QVector<Word>& words)
{
    QByteArray s = "BT\n3 Tr\n/FTavikText 1 Tf\n";
    for (const Word& w : words) {
        double ems = 0;
        const QByteArray hex = hexCodes(w.text, &ems);
        if (ems <= 0 || w.width <= 0 || w.height <= 0)
            continue;
        // Font size 1 and the text matrix scaled to the box: the glyphs
        // fill its width, the em (descent to ascent) its height.
        const double baseline = w.bottom - w.height * GlyphlessFont::kDescent / GlyphlessFont::kUnitsPerEm;
        s += num(w.width / ems) + " 0 0 " + num(w.height) + ' ' + num(w.left) + ' ' + num(baseline) + " Tm <" + hex
            + "> Tj\n";
    }
    s += "ET\n";
    return s;
}

int addFont(PdfUpdate* u)
{
    const QByteArray font = GlyphlessFont::build();
    const int file = u->addStream(font, " /Length1 " + QByteArray::number(font.size()));
    const int descriptor = u->add(
        "<< /Type /FontDescriptor /FontName /TavikTextLayer /Flags 5 /FontBBox [0 "
        + QByteArray::number(GlyphlessFont::kDescent) + ' ' + QByteArray::number(GlyphlessFont::kAdvance) + ' '
        + QByteArray::number(GlyphlessFont::kAscent) + "] /ItalicAngle 0 /Ascent "
        + QByteArray::number(GlyphlessFont::kAscent) + " /Descent " + QByteArray::number(GlyphlessFont::kDescent)
        + " /CapHeight " + QByteArray::number(GlyphlessFont::kAscent) + " /StemV 80 /FontFile2 "
        + QByteArray::number(file) + " 0 R >>");
    QByteArray toEmptyGlyph;
    toEmptyGlyph.reserve(2 * 65536);
    for (int code = 0; code < 65536; ++code)
        toEmptyGlyph.append(char(0)).append(char(GlyphlessFont::kEmptyGlyph));
    const int cidToGid = u->addStream(toEmptyGlyph);
    const int cidFont = u->add(
        "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /TavikTextLayer"
        " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
        " /FontDescriptor " + QByteArray::number(descriptor) + " 0 R /DW "
        + QByteArray::number(GlyphlessFont::kAdvance) + " /W " + wideWidths() + " /CIDToGIDMap "
        + QByteArray::number(cidToGid) + " 0 R >>");
    const int toUnicode = u->addStream(toUnicodeMap());
    return u->add("<< /Type /Font /Subtype /Type0 /BaseFont /TavikTextLayer /Encoding /Identity-H"
                  " /DescendantFonts [" + QByteArray::number(cidFont) + " 0 R] /ToUnicode "
                  + QByteArray::number(toUnicode) + " 0 R >>");
}

} // namespace

bool addTo(PdfUpdate* update, const QVector<QVector<Word>>& pages, QString* why)
{
    if (pages.size() > update->pageCount()) {
        *why = QStringLiteral("fewer pages than text layers");
        return false;
    }
    int font = -1;
    for (int i = 0; i < pages.size(); ++i) {
        if (pages[i].isEmpty())
            continue;
        if (font < 0)
            font = addFont(update);
        if (!update->addPageFont(i, "FTavikText", font, why) || !update->addPageContent(i, update->addStream(pageText(pages[i])), why))
            return false;
    }
    return true;
}

} // namespace PdfTextLayer
