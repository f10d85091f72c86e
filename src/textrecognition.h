#ifndef TAVIK_TEXTRECOGNITION_H
#define TAVIK_TEXTRECOGNITION_H

#include <QImage>
#include <QRect>
#include <QString>
#include <QVector>

#include <functional>

struct TavikOcrEngine;

// Text recognition of page pictures (Chinese and English) through
// libTavikOcr.so, which is loaded on first use: without the recognition
// engine the program still runs, only without searchable PDFs.
//
// Threads: any. Loading happens once, on the first thread that asks.
namespace TextRecognition {

// The languages every page is read in.
constexpr const char* kLanguages = "chi_sim+eng";

// One recognised word, in pixels of the recognised picture.
struct Word {
    QRect box;
    int line = 0;        // the running number of the word's line on the page
    int lineTop = 0;     // the line's box, as the engine saw it
    int lineBottom = 0;
    QString text;
};

// Empty when recognition works; else the Debian packages that are missing,
// separated by spaces ("libtesseract5", "tesseract-ocr-chi-sim", ...). The
// first call loads the library and tries each language's data: a fraction
// of a second, so call it off the GUI thread.
QString missingPackages();

// Seams for the tests, before the first use: the folder of the languages'
// data (empty: the engine's own) and the library's path (empty: the
// installed one, else ./lib/libTavikOcr.so).
void setDataPath(const QString& folder);
void setLibraryPath(const QString& path);

// The engine runs its pages one per core on our own threads: its inner
// threads would only compete with them (three times slower when measured).
// Sets that for the process; call first thing in main, before other threads.
void limitEngineThreads();

// One engine with the languages loaded; used by one thread at a time.
class Engine {
public:
    Engine() = default;
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // False, with one log line, when the library or the data do not load.
    bool open();
    // Recognises a picture (any format; read in grey). cancelled is asked
    // now and then while the engine works. False when cancelled or failed.
    bool recognise(const QImage& picture, const std::function<bool()>& cancelled, QVector<Word>* words);

private:
    TavikOcrEngine* m_engine = nullptr;
};

} // namespace TextRecognition

#endif // TAVIK_TEXTRECOGNITION_H
