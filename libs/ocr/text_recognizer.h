#ifndef TAVIK_OCR_TEXT_RECOGNIZER_H
#define TAVIK_OCR_TEXT_RECOGNIZER_H

#include <tesseract/baseapi.h>

#include <functional>
#include <string>
#include <vector>

namespace tavikocr {

struct Word {
    int left = 0, top = 0, right = 0, bottom = 0;
    int lineTop = 0, lineBottom = 0;
    int line = 0;
    float confidence = 0;
    std::string text;
};

// One recognition engine with its languages loaded. Used by one thread at a
// time; each worker thread opens its own.
class TextRecognizer {
public:
    // False, with the reason in *why, when the engine cannot load the
    // languages' data from dataPath (empty: the engine's default folder).
    bool open(const std::string& dataPath, const std::string& languages, std::string* why);

    // Recognises a grey picture; the words in reading order. False when
    // cancelled (asked through `cancelled` while the engine works) or when
    // the picture is unusable.
    bool recognise(const unsigned char* grey, int width, int stride, int height,
                   const std::function<bool()>& cancelled, std::vector<Word>* words, std::string* why);

private:
    // A word that one of the later languages read: the first language's own
    // reading of its box, when that is the better one.
    bool secondOpinion(const tesseract::ResultIterator& it, float confidence, std::string* text);

    tesseract::TessBaseAPI m_api;
    bool m_open = false;
    std::string m_dataPath;
    std::string m_primary;                     // the first of the languages
    bool m_mixed = false;                      // more than one language
    tesseract::TessBaseAPI m_primaryOnly;      // opened on first need
    bool m_primaryOpen = false;
    const unsigned char* m_picture = nullptr;  // the picture being read, for the second opinion
    int m_width = 0, m_height = 0, m_stride = 0, m_dpi = 0;
    bool m_primaryHasPicture = false;
};

} // namespace tavikocr

#endif
