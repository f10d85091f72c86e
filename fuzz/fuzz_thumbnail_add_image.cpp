// Thumbnail::AddImage with arbitrary file contents, as when the user adds
// any file from a folder to the strip.
//
// Input: file suffix, insertion row, then the file's bytes.
#include "Thumbnail.h"

#include "fuzz_input.h"

#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

QApplication* g_app = nullptr;
QTemporaryDir* g_dir = nullptr;
Thumbnail* g_strip = nullptr;

// The suffix steers Qt's choice of reader before it looks at the bytes.
const char* const kSuffixes[] = {".jpg", ".png", ".bmp", ".gif", ".ppm", ".xpm", ".ico", ".pbm", ""};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Created once and kept for the whole run, as the application keeps them.
    g_app = new QApplication(*argc, *argv);
    g_dir = new QTemporaryDir();
    g_strip = new Thumbnail();
    // The first item drawn loads the fonts, whose caches live until exit:
    // load them here so they are not taken for a leak of the first input.
    QPixmap warmUp(8, 8);
    warmUp.fill(Qt::white);
    if (g_strip->AddImage(warmUp, g_dir->filePath(QStringLiteral("warm-up.png")), 0))
        g_strip->RemoveItem(0, false);
    return g_dir->isValid() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const char* suffix = kSuffixes[input.byte() % (sizeof kSuffixes / sizeof kSuffixes[0])];
    const int row = static_cast<int8_t>(input.byte());

    const QString path = g_dir->filePath(QStringLiteral("picture") + QLatin1String(suffix));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char*>(input.rest()), static_cast<qint64>(input.restSize()));
    file.close();

    if (g_strip->AddImage(path, row)) {
        // Listed once, under exactly that path.
        if (g_strip->Count() != 1 || g_strip->GetIndex(path) != 0 || g_strip->GetFilePaths().value(0) != path)
            std::abort();
        g_strip->RemoveItem(0, false);
    } else if (g_strip->Count() != 0) {
        std::abort();
    }
    QFile::remove(path);
    return 0;
}
