#include "textrecognition.h"

#include "tavikocr.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QMutex>
#include <QStringList>

#include <cstdlib>
#include <dlfcn.h>

namespace TextRecognition {

namespace {

struct Library {
    decltype(&tavikocr_has_language) hasLanguage = nullptr;
    decltype(&tavikocr_open) open = nullptr;
    decltype(&tavikocr_recognise) recognise = nullptr;
    decltype(&tavikocr_free_words) freeWords = nullptr;
    decltype(&tavikocr_close) close = nullptr;
    decltype(&tavikocr_last_error) lastError = nullptr;
    bool loaded = false;
    QString missing;   // what missingPackages() says, once known
    bool checked = false;
};

// What the module knows, made once and never destroyed, so that no thread
// using it depends on the order of static destruction.
struct State {
    QMutex lock;            // guards the rest; the library, once loaded, stays
    Library library;
    QString dataPath;
    QString libraryPath;
};

State& state()
{
    static State* const made = new State;
    return *made;
}

QString libraryPath()
{
    if (!state().libraryPath.isEmpty())
        return state().libraryPath;
    const QString installed = QStringLiteral("/opt/tavikApp/lib/libTavikOcr.so");
    return QFile::exists(installed) ? installed : QStringLiteral("./lib/libTavikOcr.so");
}

template <typename F>
bool bind(void* handle, const char* name, F* to)
{
    *to = reinterpret_cast<F>(dlsym(handle, name));
    return *to != nullptr;
}

// state().lock held. Loads the library once; false when it cannot be.
bool loadLocked()
{
    if (state().library.loaded)
        return true;
    const QByteArray path = QFile::encodeName(libraryPath());
    void* handle = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        qDebug().noquote() << "text recognition unavailable:" << dlerror();
        return false;
    }
    Library& l = state().library;
    if (!bind(handle, "tavikocr_has_language", &l.hasLanguage) || !bind(handle, "tavikocr_open", &l.open)
        || !bind(handle, "tavikocr_recognise", &l.recognise) || !bind(handle, "tavikocr_free_words", &l.freeWords)
        || !bind(handle, "tavikocr_close", &l.close) || !bind(handle, "tavikocr_last_error", &l.lastError)) {
        qDebug().noquote() << "text recognition unavailable:" << path << "lacks a function";
        dlclose(handle);
        l = Library();
        return false;
    }
    l.loaded = true;
    return true;
}

QByteArray dataPathLocked()
{
    return QFile::encodeName(state().dataPath);
}

} // namespace

void limitEngineThreads()
{
    setenv("OMP_THREAD_LIMIT", "1", 0);
}

void setDataPath(const QString& folder)
{
    QMutexLocker locker(&state().lock);
    state().dataPath = folder;
    state().library.checked = false;
}

void setLibraryPath(const QString& path)
{
    QMutexLocker locker(&state().lock);
    state().libraryPath = path;
    state().library.checked = false;
}

QString missingPackages()
{
    QMutexLocker locker(&state().lock);
    if (state().library.checked)
        return state().library.missing;
    QStringList missing;
    if (!loadLocked()) {
        missing << QStringLiteral("libtesseract5");
    } else {
        const QByteArray data = dataPathLocked();
        const char* folder = data.isEmpty() ? nullptr : data.constData();
        // One language at a time, so that the notice names the one missing.
        if (!state().library.hasLanguage(folder, "chi_sim"))
            missing << QStringLiteral("tesseract-ocr-chi-sim");
        if (!state().library.hasLanguage(folder, "eng"))
            missing << QStringLiteral("tesseract-ocr-eng");
    }
    state().library.missing = missing.join(QLatin1Char(' '));
    state().library.checked = true;
    return state().library.missing;
}

Engine::~Engine()
{
    if (m_engine)
        state().library.close(m_engine);
}

bool Engine::open()
{
    if (m_engine)
        return true;
    QByteArray data;
    {
        QMutexLocker locker(&state().lock);
        if (!loadLocked())
            return false;
        data = dataPathLocked();
    }
    m_engine = state().library.open(data.isEmpty() ? nullptr : data.constData(), kLanguages);
    return m_engine != nullptr;
}

bool Engine::recognise(const QImage& picture, const std::function<bool()>& cancelled, QVector<Word>* words)
{
    words->clear();
    if (!m_engine || picture.isNull())
        return false;
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const auto ask = [](void* context) -> int {
        const auto* f = static_cast<const std::function<bool()>*>(context);
        return *f && (*f)() ? 1 : 0;
    };
    TavikOcrWord* list = nullptr;
    int count = 0;
    if (!state().library.recognise(m_engine, grey.constBits(), grey.width(), int(grey.bytesPerLine()), grey.height(), ask,
                             const_cast<std::function<bool()>*>(&cancelled), &list, &count))
        return false;
    words->reserve(count);
    for (int i = 0; i < count; ++i) {
        const TavikOcrWord& w = list[i];
        words->append(Word{QRect(QPoint(w.left, w.top), QPoint(w.right - 1, w.bottom - 1)), w.line, w.lineTop,
                           w.lineBottom, QString::fromUtf8(w.text)});
    }
    state().library.freeWords(list, count);
    return true;
}

} // namespace TextRecognition
