#include "glyphlessfont.h"

#include <QVector>

#include <cstdint>
#include <utility>

namespace GlyphlessFont {

namespace {

// TrueType is big-endian throughout.
class Bytes {
public:
    Bytes& u16(int v)
    {
        m_data.append(char((v >> 8) & 0xFF)).append(char(v & 0xFF));
        return *this;
    }
    Bytes& u32(uint32_t v) { return u16(int(v >> 16)).u16(int(v & 0xFFFF)); }
    Bytes& tag(const char* t) { m_data.append(t, 4); return *this; }
    Bytes& zeros(int n) { m_data.append(QByteArray(n, '\0')); return *this; }
    Bytes& raw(const QByteArray& b) { m_data.append(b); return *this; }
    const QByteArray& data() const { return m_data; }

private:
    QByteArray m_data;
};

uint32_t checksum(const QByteArray& table)
{
    QByteArray padded = table;
    while (padded.size() % 4)
        padded.append('\0');
    uint32_t sum = 0;
    for (int i = 0; i < padded.size(); i += 4) {
        sum += (uint32_t(uint8_t(padded[i])) << 24) | (uint32_t(uint8_t(padded[i + 1])) << 16)
            | (uint32_t(uint8_t(padded[i + 2])) << 8) | uint32_t(uint8_t(padded[i + 3]));
    }
    return sum;
}

QByteArray head()
{
    Bytes b;
    b.u32(0x00010000).u32(0x00010000).u32(0) // version, revision, checksum adjustment (set last)
        .u32(0x5F0F3CF5).u16(0x000B).u16(kUnitsPerEm)
        .zeros(16)                                  // created, modified
        .u16(0).u16(kDescent).u16(kAdvance).u16(kAscent) // bounding box
        .u16(0).u16(3).u16(2)                       // style, smallest size, direction hint
        .u16(0).u16(0);                             // short offsets in loca, glyph format
    return b.data();
}

QByteArray hhea()
{
    Bytes b;
    b.u32(0x00010000).u16(kAscent).u16(kDescent).u16(0) // ascender, descender, line gap
        .u16(kAdvance).u16(0).u16(0).u16(kAdvance)     // widest advance, bearings, extent
        .u16(1).u16(0).u16(0).zeros(8).u16(0)          // caret, reserved, metric format
        .u16(2);                                       // both glyphs have metrics
    return b.data();
}

QByteArray maxp()
{
    Bytes b;
    b.u32(0x00010000).u16(2).zeros(4 * 2).u16(2).zeros(8 * 2); // no outlines, no instructions
    return b.data();
}

QByteArray hmtx()
{
    Bytes b;
    b.u16(kAdvance).u16(0).u16(kAdvance).u16(0);
    return b.data();
}

QByteArray loca()
{
    Bytes b;
    b.u16(0).u16(0).u16(0); // both glyphs empty
    return b.data();
}

// A format 4 map with only the closing segment: no character code reaches
// a glyph through it; the PDF maps codes to glyphs itself.
QByteArray cmap()
{
    Bytes b;
    b.u16(0).u16(1).u16(3).u16(1).u32(12);
    b.u16(4).u16(24).u16(0).u16(2).u16(2).u16(0).u16(0);
    b.u16(0xFFFF).u16(0).u16(0xFFFF).u16(1).u16(0);
    return b.data();
}

QByteArray post()
{
    Bytes b;
    b.u32(0x00030000).u32(0).u16(0xFF9C).u16(50).u32(1).zeros(16);
    return b.data();
}

QByteArray name()
{
    const QVector<std::pair<int, QString>> names{{1, QStringLiteral("TavikTextLayer")},
                                                 {2, QStringLiteral("Regular")},
                                                 {4, QStringLiteral("TavikTextLayer")},
                                                 {6, QStringLiteral("TavikTextLayer")}};
    Bytes records;
    Bytes strings;
    for (const auto& [id, text] : names) {
        Bytes utf16;
        for (QChar c : text)
            utf16.u16(c.unicode());
        records.u16(3).u16(1).u16(0x409).u16(id).u16(utf16.data().size()).u16(strings.data().size());
        strings.raw(utf16.data());
    }
    Bytes b;
    b.u16(0).u16(names.size()).u16(6 + 12 * names.size()).raw(records.data()).raw(strings.data());
    return b.data();
}

QByteArray os2()
{
    Bytes b;
    b.u16(1).u16(kAdvance).u16(400).u16(5).u16(0) // version, width, weight, width class, embeddable
        .u16(650).u16(600).u16(0).u16(75)             // subscript
        .u16(650).u16(600).u16(0).u16(350)            // superscript
        .u16(50).u16(300).u16(0)                      // strikeout, family class
        .zeros(10).zeros(16).tag("NONE")              // panose, unicode ranges, vendor
        .u16(0x40).u16(0).u16(0xFFFF)                 // regular, first and last character
        .u16(kAscent).u16(kDescent).u16(0)            // typographic ascender, descender, gap
        .u16(kAscent).u16(-kDescent)                  // Windows ascent, descent (positive)
        .u32(1).u32(0);                               // code pages: Latin 1
    return b.data();
}

} // namespace

QByteArray build()
{
    // Tags in ascending order, as the table directory requires.
    QVector<std::pair<const char*, QByteArray>> tables{
        {"OS/2", os2()}, {"cmap", cmap()}, {"glyf", QByteArray()}, {"head", head()}, {"hhea", hhea()},
        {"hmtx", hmtx()}, {"loca", loca()}, {"maxp", maxp()}, {"name", name()}, {"post", post()}};
    const int count = tables.size();
    int entrySelector = 0;
    while ((2 << entrySelector) <= count)
        ++entrySelector;
    const int searchRange = 16 << entrySelector;
    Bytes directory;
    directory.u32(0x00010000).u16(count).u16(searchRange).u16(entrySelector).u16(count * 16 - searchRange);
    QByteArray body;
    int offset = 12 + 16 * count;
    int headOffset = 0;
    for (const auto& [tag, data] : tables) {
        directory.tag(tag).u32(checksum(data)).u32(uint32_t(offset)).u32(uint32_t(data.size()));
        if (QByteArray(tag) == "head")
            headOffset = offset;
        QByteArray padded = data;
        while (padded.size() % 4)
            padded.append('\0');
        body.append(padded);
        offset += padded.size();
    }
    QByteArray font = directory.data() + body;
    const uint32_t adjustment = 0xB1B0AFBAu - checksum(font);
    for (int i = 0; i < 4; ++i)
        font[headOffset + 8 + i] = char((adjustment >> (24 - 8 * i)) & 0xFF);
    return font;
}

} // namespace GlyphlessFont
