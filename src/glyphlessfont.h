#ifndef TAVIK_GLYPHLESSFONT_H
#define TAVIK_GLYPHLESSFONT_H

#include <QByteArray>

// A TrueType font whose glyphs draw nothing: two glyphs (.notdef and one
// empty glyph), each half an em wide, 1000 units to the em. A PDF text
// layer that maps every character to the empty glyph embeds it, so that
// viewers need no font of their own for text that is never shown, and a
// selection box is as wide as the text matrix makes it.
//
// Any thread.
namespace GlyphlessFont {

constexpr int kUnitsPerEm = 1000;
constexpr int kAdvance = 500;   // every glyph's width, in font units
constexpr int kAscent = 800;    // an em spans kDescent below the baseline to kAscent above
constexpr int kDescent = -200;
constexpr int kEmptyGlyph = 1;

// The whole font file.
QByteArray build();

} // namespace GlyphlessFont

#endif // TAVIK_GLYPHLESSFONT_H
