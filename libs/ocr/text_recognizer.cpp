#include "text_recognizer.h"

#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace tavikocr {

namespace {

// The engine judges noise and blob sizes by the resolution. A page photo's
// longer side is about an A4 sheet's 11.7 inches.
int estimatedDpi(int width, int height)
{
    return std::clamp(static_cast<int>(std::max(width, height) / 11.7), 70, 600);
}

// A word that a later language read gets a second opinion from the first
// language alone: mixed into "chi_sim+eng", the English model now and then
// wins a short Chinese word with Latin letters ("李华" read "BE", "大米"
// read "AX"), at times with a certainty of 90. The Chinese model alone reads
// such words back as Chinese with a certainty of 77 and more, but reads real
// Latin letters as Chinese at 68 at most (measured on 20 photographed
// pages). Its reading wins when it is Chinese this certain, or more certain
// than the first reading.
constexpr int kChineseReadingCertain = 75;

bool holdsChinese(const std::string& utf8)
{
    // CJK Unified Ideographs U+4E00..U+9FFF are E4 B8 80 .. E9 BF BF in UTF-8.
    for (size_t i = 0; i + 2 < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b >= 0xE4 && b <= 0xE9 && (b > 0xE4 || static_cast<unsigned char>(utf8[i + 1]) >= 0xB8))
            return true;
    }
    return false;
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
    m_dataPath = dataPath;
    m_primary = languages.substr(0, languages.find('+'));
    m_mixed = m_primary != languages;
    return true;
}

bool TextRecognizer::secondOpinion(const tesseract::ResultIterator& it, float confidence, std::string* text)
{
    if (!m_mixed || m_primary == it.WordRecognitionLanguage())
        return false;
    if (!m_primaryOpen) {
        std::vector<std::string> names{"debug_file"};
        std::vector<std::string> values{"/dev/null"};
        if (m_primaryOnly.Init(m_dataPath.empty() ? nullptr : m_dataPath.c_str(), m_primary.c_str(),
                               tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false))
            return false;
        m_primaryOnly.SetPageSegMode(tesseract::PSM_SINGLE_LINE);
        m_primaryOpen = true;
    }
    if (!m_primaryHasPicture) {
        m_primaryOnly.SetImage(m_picture, m_width, m_height, 1, m_stride);
        m_primaryOnly.SetSourceResolution(m_dpi);
        m_primaryHasPicture = true;
    }
    int left = 0, top = 0, right = 0, bottom = 0;
    if (!it.BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom))
        return false;
    // A little of the paper around the word, as the engine saw it in its line.
    const int pad = (bottom - top) / 4;
    left = std::max(0, left - pad);
    top = std::max(0, top - pad);
    right = std::min(m_width, right + pad);
    bottom = std::min(m_height, bottom + pad);
    m_primaryOnly.SetRectangle(left, top, right - left, bottom - top);
    std::unique_ptr<char[]> read(m_primaryOnly.GetUTF8Text());
    const int certainty = m_primaryOnly.MeanTextConf();
    std::string alternative = read ? read.get() : "";
    while (!alternative.empty() && std::isspace(static_cast<unsigned char>(alternative.back())))
        alternative.pop_back();
    if (alternative.empty() || alternative.find('\n') != std::string::npos)
        return false;
    if (certainty <= confidence && !(holdsChinese(alternative) && certainty >= kChineseReadingCertain))
        return false;
    *text = alternative;
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
    m_picture = grey;
    m_width = width;
    m_height = height;
    m_stride = stride;
    m_dpi = estimatedDpi(width, height);
    m_primaryHasPicture = false;
    m_api.SetImage(grey, width, height, 1, stride);
    m_api.SetSourceResolution(m_dpi);
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
            w.confidence = it->Confidence(tesseract::RIL_WORD);
            secondOpinion(*it, w.confidence, &w.text);
            w.line = std::max(0, line);
            w.lineTop = lineTop;
            w.lineBottom = lineBottom;
            words->push_back(std::move(w));
        } while (it->Next(tesseract::RIL_WORD));
    }
    m_api.Clear();
    if (m_primaryHasPicture)
        m_primaryOnly.Clear();
    m_picture = nullptr;
    return true;
}

} // namespace tavikocr
