#include "pdftextlayer.h"

#include "glyphlessfont.h"
#include "textruns.h"

#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace PdfTextLayer {

namespace {

// ---- reading the document's structure (classic cross-reference tables, as
// QPdfWriter writes them)

struct Reader {
    const QByteArray& pdf;
    QMap<int, qint64> offsets; // object number -> byte offset
    QByteArray trailer;
    qint64 xrefOffset = -1;

    explicit Reader(const QByteArray& data) : pdf(data) {}

    bool readXref(QString* why)
    {
        const int at = pdf.lastIndexOf("startxref");
        if (at < 0)
            return failed(why, QStringLiteral("no startxref"));
        bool ok = false;
        xrefOffset = pdf.mid(at + 9, 24).simplified().split(' ').value(0).toLongLong(&ok);
        if (!ok || xrefOffset <= 0 || xrefOffset >= pdf.size() || !pdf.mid(xrefOffset, 4).startsWith("xref"))
            return failed(why, QStringLiteral("no cross-reference table where startxref points"));
        const int trailerAt = pdf.indexOf("trailer", int(xrefOffset));
        if (trailerAt < 0)
            return failed(why, QStringLiteral("no trailer"));
        const QList<QByteArray> tokens = pdf.mid(xrefOffset + 4, trailerAt - xrefOffset - 4).simplified().split(' ');
        for (int i = 0; i + 1 < tokens.size();) {
            const int first = tokens[i].toInt();
            const int count = tokens[i + 1].toInt();
            i += 2;
            for (int k = 0; k < count && i + 2 < tokens.size(); ++k, i += 3) {
                if (tokens.value(i + 2) == "n")
                    offsets.insert(first + k, tokens[i].toLongLong());
            }
        }
        const int open = pdf.indexOf("<<", trailerAt);
        const int close = pdf.indexOf(">>", open);
        if (open < 0 || close < 0)
            return failed(why, QStringLiteral("unreadable trailer"));
        trailer = pdf.mid(open, close + 2 - open);
        return true;
    }

    // The text between "N G obj" and "endobj"; empty when not found.
    QByteArray object(int number) const
    {
        const qint64 at = offsets.value(number, -1);
        if (at < 0)
            return QByteArray();
        const int start = pdf.indexOf("obj", int(at));
        const int end = pdf.indexOf("endobj", start);
        if (start < 0 || end < 0 || !pdf.mid(at, start - at).trimmed().startsWith(QByteArray::number(number) + ' '))
            return QByteArray();
        return pdf.mid(start + 3, end - start - 3).trimmed();
    }

    static bool failed(QString* why, const QString& reason)
    {
        *why = reason;
        return false;
    }
};

// The object number of "/Key N G R" in a dictionary, or -1.
int refOf(const QByteArray& dict, const char* key)
{
    static const QRegularExpression ref(QStringLiteral("^\\s*(\\d+)\\s+\\d+\\s+R"));
    const int at = dict.indexOf(key);
    if (at < 0)
        return -1;
    const QRegularExpressionMatch m = ref.match(QString::fromLatin1(dict.mid(at + int(qstrlen(key)), 32)));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QVector<int> refsIn(const QByteArray& text)
{
    static const QRegularExpression ref(QStringLiteral("(\\d+)\\s+\\d+\\s+R"));
    QVector<int> refs;
    auto it = ref.globalMatch(QString::fromLatin1(text));
    while (it.hasNext())
        refs << it.next().captured(1).toInt();
    return refs;
}

// The value after /Key: a reference or an array, as its byte range.
bool valueSpan(const QByteArray& dict, const char* key, int* from, int* to)
{
    const int at = dict.indexOf(key);
    if (at < 0)
        return false;
    int i = at + int(qstrlen(key));
    while (i < dict.size() && QChar(dict[i]).isSpace())
        ++i;
    if (i < dict.size() && dict[i] == '[') {
        const int end = dict.indexOf(']', i);
        if (end < 0)
            return false;
        *from = i;
        *to = end + 1;
        return true;
    }
    static const QRegularExpression ref(QStringLiteral("^\\d+\\s+\\d+\\s+R"));
    const QRegularExpressionMatch m = ref.match(QString::fromLatin1(dict.mid(i, 32)));
    if (!m.hasMatch())
        return false;
    *from = i;
    *to = i + m.capturedLength();
    return true;
}

// ---- writing the update

QByteArray deflated(const QByteArray& data)
{
    // qCompress puts the length in front of a plain zlib stream.
    return qCompress(data, 9).mid(4);
}

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

class Update {
public:
    Update(int firstNumber) : m_next(firstNumber) {}

    int reserve() { return m_next++; }
    int add(const QByteArray& body)
    {
        const int n = reserve();
        put(n, body);
        return n;
    }
    void put(int number, const QByteArray& body) { m_objects.insert(number, body); }
    int addStream(const QByteArray& data, const QByteArray& extra = QByteArray())
    {
        const QByteArray packed = deflated(data);
        return add("<< /Length " + QByteArray::number(packed.size()) + " /Filter /FlateDecode" + extra + " >>\nstream\n"
                   + packed + "\nendstream");
    }
    int size() const { return m_next; }

    // The objects, their cross-reference section and the trailer, for a
    // document of `length` bytes whose table starts at prevXref.
    QByteArray bytes(qint64 length, qint64 prevXref, const QByteArray& trailerKeys) const
    {
        QByteArray out = "\n";
        QMap<int, qint64> at;
        for (auto it = m_objects.begin(); it != m_objects.end(); ++it) {
            at.insert(it.key(), length + out.size());
            out += QByteArray::number(it.key()) + " 0 obj\n" + it.value() + "\nendobj\n";
        }
        const qint64 xref = length + out.size();
        out += "xref\n";
        for (auto it = at.begin(); it != at.end(); ++it)
            out += QByteArray::number(it.key()) + " 1\n" + QByteArray::number(it.value()).rightJustified(10, '0')
                + " 00000 n \n";
        out += "trailer\n<< /Size " + QByteArray::number(m_next) + trailerKeys + " /Prev "
            + QByteArray::number(prevXref) + " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
        return out;
    }

private:
    int m_next;
    QMap<int, QByteArray> m_objects;
};

int addFont(Update* u)
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

// The resources with the text font added to their /Font dictionary.
bool withFont(QByteArray resources, int font, QByteArray* out)
{
    const QByteArray entry = "/FTavikText " + QByteArray::number(font) + " 0 R\n";
    const int at = resources.indexOf("/Font");
    if (at >= 0) {
        int i = at + 5;
        while (i < resources.size() && QChar(resources[i]).isSpace())
            ++i;
        if (!resources.mid(i).startsWith("<<"))
            return false; // a font dictionary of its own object: not written by QPdfWriter
        resources.insert(i + 2, "\n" + entry);
    } else {
        const int end = resources.lastIndexOf(">>");
        if (end < 0)
            return false;
        resources.insert(end, "/Font << " + entry + ">>\n");
    }
    *out = resources;
    return true;
}

} // namespace

bool append(QByteArray* pdf, const QVector<QVector<Word>>& pages, QString* why)
{
    Reader reader(*pdf);
    if (!reader.readXref(why))
        return false;
    const int root = refOf(reader.trailer, "/Root");
    const int pagesObject = refOf(reader.object(root), "/Pages");
    const QByteArray tree = reader.object(pagesObject);
    int from = 0, to = 0;
    if (root < 0 || pagesObject < 0 || !valueSpan(tree, "/Kids", &from, &to))
        return Reader::failed(why, QStringLiteral("no page tree"));
    const QVector<int> kids = refsIn(tree.mid(from, to - from));
    if (pages.size() > kids.size())
        return Reader::failed(why, QStringLiteral("fewer pages than text layers"));

    bool ok = false;
    const int size = QRegularExpression(QStringLiteral("/Size\\s+(\\d+)"))
                         .match(QString::fromLatin1(reader.trailer)).captured(1).toInt(&ok);
    if (!ok || size <= 0)
        return Reader::failed(why, QStringLiteral("no /Size in the trailer"));
    Update update(size);
    const int font = addFont(&update);
    const int saveState = update.addStream("q\n");
    const int restoreState = update.addStream("Q\n");
    QSet<int> resourcesDone;
    for (int i = 0; i < pages.size(); ++i) {
        if (pages[i].isEmpty())
            continue;
        const QByteArray page = reader.object(kids[i]);
        const int resourcesObject = refOf(page, "/Resources");
        int cFrom = 0, cTo = 0;
        if (!page.contains("/Page") || resourcesObject < 0 || !valueSpan(page, "/Contents", &cFrom, &cTo))
            return Reader::failed(why, QStringLiteral("page %1 is not as expected").arg(i + 1));
        if (!resourcesDone.contains(resourcesObject)) {
            QByteArray resources;
            if (!withFont(reader.object(resourcesObject), font, &resources))
                return Reader::failed(why, QStringLiteral("page %1's resources are not as expected").arg(i + 1));
            update.put(resourcesObject, resources);
            resourcesDone.insert(resourcesObject);
        }
        // The page's own drawing leaves its transformation in place: the
        // text starts from the page's default space, after a restore.
        const int text = update.addStream(pageText(pages[i]));
        QByteArray contents = page.mid(cFrom, cTo - cFrom);
        if (contents.startsWith('['))
            contents = contents.mid(1, contents.size() - 2);
        QByteArray newPage = page;
        newPage.replace(cFrom, cTo - cFrom,
                        "[" + QByteArray::number(saveState) + " 0 R " + contents.trimmed() + ' '
                            + QByteArray::number(restoreState) + " 0 R " + QByteArray::number(text) + " 0 R]");
        update.put(kids[i], newPage);
    }
    QByteArray keys = " /Root " + QByteArray::number(root) + " 0 R";
    const int info = refOf(reader.trailer, "/Info");
    if (info >= 0)
        keys += " /Info " + QByteArray::number(info) + " 0 R";
    pdf->append(update.bytes(pdf->size(), reader.xrefOffset, keys));
    return true;
}

} // namespace PdfTextLayer
