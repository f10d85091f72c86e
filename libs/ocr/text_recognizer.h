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
    tesseract::TessBaseAPI m_api;
    bool m_open = false;
};

} // namespace tavikocr

#endif
