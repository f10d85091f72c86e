// The C face of libTavikOcr.so (see tavikocr.h).
#include "tavikocr.h"

#include "text_recognizer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

struct TavikOcrEngine {
    tavikocr::TextRecognizer recognizer;
};

namespace {

thread_local std::string t_lastError = "no error";

void failWith(const std::string& why)
{
    t_lastError = why;
    std::fprintf(stderr, "ocr: %s\n", why.c_str());
}

// The picture is refused before the engine sees it: it would read any
// memory the sizes point at.
bool plausible(const unsigned char* grey, int width, int stride, int height)
{
    return grey && width >= 16 && height >= 16 && width <= 32768 && height <= 32768 && stride >= width
        && static_cast<long long>(width) * height <= 256LL * 1024 * 1024;
}

} // namespace

extern "C" {

int tavikocr_has_language(const char* dataPath, const char* language)
{
    if (!language || !*language || std::strchr(language, '+')) {
        t_lastError = "one language expected";
        return 0;
    }
    tavikocr::TextRecognizer probe;
    std::string why;
    if (!probe.open(dataPath ? dataPath : "", language, &why)) {
        t_lastError = why;
        return 0;
    }
    return 1;
}

TavikOcrEngine* tavikocr_open(const char* dataPath, const char* languages)
{
    if (!languages || !*languages) {
        failWith("no languages given");
        return nullptr;
    }
    auto* engine = new (std::nothrow) TavikOcrEngine;
    if (!engine) {
        failWith("out of memory");
        return nullptr;
    }
    std::string why;
    if (!engine->recognizer.open(dataPath ? dataPath : "", languages, &why)) {
        delete engine;
        failWith(why);
        return nullptr;
    }
    return engine;
}

int tavikocr_recognise(TavikOcrEngine* engine, const unsigned char* grey, int width, int stride, int height,
                       int (*cancelled)(void*), void* context, TavikOcrWord** words, int* count)
{
    if (words)
        *words = nullptr;
    if (count)
        *count = 0;
    if (!engine || !words || !count || !plausible(grey, width, stride, height)) {
        failWith("bad arguments");
        return 0;
    }
    const std::function<bool()> asked = [cancelled, context] { return cancelled && cancelled(context) != 0; };
    std::vector<tavikocr::Word> found;
    std::string why;
    if (!engine->recognizer.recognise(grey, width, stride, height, asked, &found, &why)) {
        t_lastError = why;
        return 0;
    }
    if (found.empty())
        return 1;
    auto* list = static_cast<TavikOcrWord*>(std::calloc(found.size(), sizeof(TavikOcrWord)));
    if (!list) {
        failWith("out of memory");
        return 0;
    }
    for (size_t i = 0; i < found.size(); ++i) {
        const tavikocr::Word& w = found[i];
        list[i] = TavikOcrWord{w.left, w.top, w.right, w.bottom, w.lineTop, w.lineBottom, w.line, w.confidence,
                               strdup(w.text.c_str())};
        if (!list[i].text) {
            tavikocr_free_words(list, static_cast<int>(i));
            failWith("out of memory");
            return 0;
        }
    }
    *words = list;
    *count = static_cast<int>(found.size());
    return 1;
}

void tavikocr_free_words(TavikOcrWord* words, int count)
{
    if (!words)
        return;
    for (int i = 0; i < count; ++i)
        std::free(words[i].text);
    std::free(words);
}

void tavikocr_close(TavikOcrEngine* engine)
{
    delete engine;
}

const char* tavikocr_last_error(void)
{
    return t_lastError.c_str();
}

} // extern "C"
