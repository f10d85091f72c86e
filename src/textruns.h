#ifndef TAVIK_TEXTRUNS_H
#define TAVIK_TEXTRUNS_H

#include "textrecognition.h"

#include <QChar>
#include <QVector>

// Recognised words grouped for a text layer. Chinese puts no spaces between
// its words, but the engine cuts a Chinese line into pieces whose boxes
// overlap: laid out piece by piece, text tools read "请 于 周 五" and a search
// for "周五" fails. Words that meet at a Chinese character become one run
// spanning from the first one's left to the last one's right; all runs of a
// line share the line's top and bottom, so that tools read the line as one.
//
// Any thread.
namespace TextRuns {

// Characters set a full em wide: Chinese, Japanese and Korean characters,
// their punctuation and the full-width forms. Others are half as wide.
struct Range {
    ushort first;
    ushort last;
};
constexpr Range kWide[] = {{0x1100, 0x115F}, {0x2E80, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
                           {0xFE30, 0xFE4F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}};
bool isWide(QChar c);

// words in reading order, line by line.
QVector<TextRecognition::Word> runs(const QVector<TextRecognition::Word>& words);

} // namespace TextRuns

#endif // TAVIK_TEXTRUNS_H
