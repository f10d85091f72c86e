#include "text_recognizer.h"

#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <memory>

namespace tavikocr {

namespace {

// The engine judges noise and blob sizes by the resolution. A page photo's
// longer side is about an A4 sheet's 11.7 inches.
int estimatedDpi(int width, int height)
{
    return std::clamp(static_cast<int>(std::max(width, height) / 11.7), 70, 600);
}

bool askCancelled(void* context, int)
{
    const auto* cancelled = static_cast<const std::function<bool()>*>(context);
    return *cancelled && (*cancelled)();
}

} // namespace

bool TextRecognizer::open(const std::string& dataPath, const std::string& languages, std::string* why)
{
    // The engine's progress chatter ("Estimating resolution ...") would fill
    // the terminal of a program that recognises pages all day.
    std::vector<std::string> names{"debug_file"};
    std::vector<std::string> values{"/dev/null"};
    const int failed = m_api.Init(dataPath.empty() ? nullptr : dataPath.c_str(), languages.c_str(),
                                  tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false);
    if (failed) {
        *why = "cannot load the recognition data for " + languages +
               (dataPath.empty() ? std::string() : " from " + dataPath);
        return false;
    }
    // Pages hold columns, tables and receipts: let the engine find the
    // blocks instead of reading the page as one block.
    m_api.SetPageSegMode(tesseract::PSM_AUTO);
    m_open = true;
    return true;
}

bool TextRecognizer::recognise(const unsigned char* grey, int width, int stride, int height,
                               const std::function<bool()>& cancelled, std::vector<Word>* words, std::string* why)
{
    words->clear();
    if (!m_open) {
        *why = "the engine is not open";
        return false;
    }
    m_api.SetImage(grey, width, height, 1, stride);
    m_api.SetSourceResolution(estimatedDpi(width, height));
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = askCancelled;
    monitor.cancel_this = const_cast<std::function<bool()>*>(&cancelled);
    const int failed = m_api.Recognize(&monitor);
    if (cancelled && cancelled()) {
        m_api.Clear();
        *why = "cancelled";
        return false;
    }
    if (failed) {
        m_api.Clear();
        *why = "the engine could not read the picture";
        return false;
    }
    std::unique_ptr<tesseract::ResultIterator> it(m_api.GetIterator());
    int line = -1;
    int lineTop = 0;
    int lineBottom = 0;
    if (it) {
        do {
            if (it->Empty(tesseract::RIL_WORD))
                continue;
            if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
                int l = 0, r = 0;
                it->BoundingBox(tesseract::RIL_TEXTLINE, &l, &lineTop, &r, &lineBottom);
                ++line;
            }
            Word w;
            if (!it->BoundingBox(tesseract::RIL_WORD, &w.left, &w.top, &w.right, &w.bottom))
                continue;
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
            if (!text || !text[0])
                continue;
            w.text = text.get();
            w.line = std::max(0, line);
            w.lineTop = lineTop;
            w.lineBottom = lineBottom;
            w.confidence = it->Confidence(tesseract::RIL_WORD);
            words->push_back(std::move(w));
        } while (it->Next(tesseract::RIL_WORD));
    }
    m_api.Clear();
    return true;
}

} // namespace tavikocr
