#include "textruns.h"

#include <algorithm>
#include <iterator>

namespace TextRuns {

bool isWide(QChar c)
{
    const ushort u = c.unicode();
    return std::any_of(std::begin(kWide), std::end(kWide), [u](Range r) { return u >= r.first && u <= r.last; });
}

QVector<TextRecognition::Word> runs(const QVector<TextRecognition::Word>& words)
{
    QVector<TextRecognition::Word> out;
    for (int first = 0; first < words.size();) {
        int end = first;
        int top = words[first].lineTop;
        int bottom = words[first].lineBottom;
        for (; end < words.size() && words[end].line == words[first].line; ++end) {
            top = std::min(top, words[end].box.top());
            bottom = std::max(bottom, words[end].box.bottom() + 1);
        }
        const int lineStart = out.size();
        for (int i = first; i < end; ++i) {
            const TextRecognition::Word& w = words[i];
            const bool joins = out.size() > lineStart && !out.last().text.isEmpty() && !w.text.isEmpty()
                && (isWide(out.last().text.back()) || isWide(w.text.front()));
            if (joins) {
                out.last().text += w.text;
                out.last().box = out.last().box.united(w.box);
            } else {
                out.append(w);
            }
            out.last().lineTop = top;
            out.last().lineBottom = bottom;
        }
        first = end;
    }
    return out;
}

} // namespace TextRuns
