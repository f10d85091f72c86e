// Measures searchable PDFs in the real window with the virtual camera
// showing pages of known text (TAVIK_VIRTUAL_IMAGE) at 3840*2160 with deskew
// on: photos of a letter, a table and a receipt in turn, one PDF without text
// and one with it, and then what pdftotext reads from every page against
// what is printed there. Run through searchable_pdf_figures.sh.
//
//   searchable_pdf_probe FOLDER PAGES
//
// Prints the PDF lines (time, size, the preview's painted frame rate and the
// process's peak memory while it was made), then one line per page: the
// share of Chinese characters and of English letters read right (one minus
// the edit distance over the printed count) and the words outside their
// picture.
#include "Thumbnail.h"
#include "application.h"
#include "eventwait.h"
#include "customInterface/widget.h"
#include "mainwidget.h"
#include "previewpaints.h"
#include "textpages.h"
#include "textrecognition.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// Peak resident size of the process so far, in MB.
double peakMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpression hwm(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    return hwm.match(QString::fromLatin1(status.readAll())).captured(1).toDouble() / 1024.0;
}

// Lets the peak be measured again from here (Linux: write 5 to clear_refs).
void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

QString run(const QStringList& arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("pdftotext"), arguments);
    tool.waitForFinished(60000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

// Code points of one kind, in reading order.
std::vector<uint> only(const QString& text, bool han)
{
    std::vector<uint> out;
    for (uint c : text.toUcs4()) {
        const bool isHan = QChar::script(c) == QChar::Script_Han;
        const bool isLatin = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (han ? isHan : isLatin)
            out.push_back(c);
    }
    return out;
}

size_t editDistance(const std::vector<uint>& a, const std::vector<uint>& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

double rightShare(const QString& printed, const QString& read, bool han)
{
    const std::vector<uint> truth = only(printed, han);
    if (truth.empty())
        return 1;
    return 1.0 - double(editDistance(truth, only(read, han))) / double(truth.size());
}

// Words of page k (1-based) outside the picture: it fills the printable
// height or width of the A4 landscape page from the top-left margin.
int wordsOutside(const QString& pdf, int k, QSize picture, int* words)
{
    const QString xml = run({"-bbox", "-f", QString::number(k), "-l", QString::number(k), pdf, "-"});
    const double margin = 10.08, width = 842 - 2 * margin, height = 595 - 2 * margin;
    const double scale = std::min(width / picture.width(), height / picture.height());
    const QRectF rect(margin, margin, picture.width() * scale, picture.height() * scale);
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">"));
    int outside = 0;
    *words = 0;
    auto it = word.globalMatch(xml);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QRectF box(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                         QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
        ++*words;
        if (!rect.adjusted(-0.5, -0.5, 0.5, 0.5).contains(box))
            ++outside;
    }
    return outside;
}

// Presses Ok on the PDF's message box as soon as it shows.
void acceptBoxes()
{
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        box->accept();
}

} // namespace

int main(int argc, char* argv[])
{
    TextRecognition::limitEngineThreads();
    if (argc < 3) {
        fprintf(stderr, "usage: %s FOLDER PAGES\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int pages = atoi(argv[2]);
    QApplication app(argc, argv);
    QDir().mkpath(folder);
    const QSize frame(3840, 2160);
    // Each photo shows one kind of page, turned a little differently.
    QStringList truths;
    QStringList desks;
    std::vector<int> kinds;
    for (int i = 0; i < pages; ++i) {
        const int kind = i % int(TextPages::names().size());
        const TextPages::Page page = TextPages::make(TextPages::names()[kind]);
        const double degrees = -4.0 + std::fmod(1.7 * i, 8.0);
        desks << QDir(folder).filePath(QStringLiteral("desk_%1.jpg").arg(i + 1));
        TextPages::onDesk(page, frame, degrees).save(desks.last(), "JPG", 92);
        kinds.push_back(kind);
        if (i < TextPages::names().size()) {
            truths << page.text;
            QFile truth(QDir(folder).filePath(QStringLiteral("truth_%1.txt").arg(page.name)));
            if (truth.open(QIODevice::WriteOnly))
                truth.write(page.text.toUtf8());
        }
    }
    const QString photos = QDir(folder).filePath(QStringLiteral("photos"));
    QDir().mkpath(photos);
    qputenv("TAVIK_VIRTUAL_IMAGE", QFile::encodeName(desks[0]));

    const std::unique_ptr<MainWidget> shown = showMainWindow();
    MainWidget& window = *shown;
    const auto child = [&](const char* name) { return window.findChild<QWidget*>(QLatin1String(name)); };
    QWidget* panel = child("Dialog");
    static_cast<QLineEdit*>(child("lineEdit"))->setText(photos);
    static_cast<QComboBox*>(child("comboBox_PixelFormat"))->setCurrentText(QStringLiteral("JPEG"));
    static_cast<QComboBox*>(child("comboBox_FrmSize"))->setCurrentText(QStringLiteral("3840*2160"));
    static_cast<QCheckBox*>(child("DeskImagecheck"))->click();
    auto* strip = window.findChild<Thumbnail*>(QStringLiteral("listWidget"));
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, acceptBoxes);
    boxes.start(20);

    // Photos: a new stream for each desk.
    for (int i = 0; i < pages; ++i) {
        qputenv("TAVIK_VIRTUAL_IMAGE", QFile::encodeName(desks[i]));
        QMetaObject::invokeMethod(panel, "closeVieo", Q_ARG(bool, false));
        QMetaObject::invokeMethod(panel, "openVideo");
        waitFor(1500);
        const int before = strip->Count();
        static_cast<QPushButton*>(child("TakePhoto"))->click();
        if (!waitUntil([&] { return strip->Count() > before; }, 10000)) {
            fprintf(stderr, "photo %d not taken\n", i + 1);
            return 1;
        }
    }
    const QStringList photoPaths = strip->GetFilePaths();

    PreviewPaints paints(static_cast<QLabel*>(child("label")), &app);
    const auto newestPdf = [&] {
        const QFileInfoList pdfs = QDir(photos).entryInfoList({QStringLiteral("Pdf_*.pdf")}, QDir::Files, QDir::Time);
        return pdfs.isEmpty() ? QFileInfo() : pdfs.first();
    };

    // Without text, on the GUI thread.
    QElapsedTimer clock;
    clock.start();
    static_cast<QPushButton*>(panel->findChild<QWidget*>(QStringLiteral("pushButton")))->click();
    const double plainSeconds = clock.nsecsElapsed() / 1e9;
    const QFileInfo plain = newestPdf();
    const qint64 plainSize = plain.size();
    const QString plainCopy = QDir(folder).filePath(QStringLiteral("plain.pdf"));
    QFile::remove(plainCopy);
    QFile::copy(plain.filePath(), plainCopy);
    QFile::remove(plain.filePath());
    strip->RemoveItem(strip->Count() - 1, false);
    waitFor(1100); // the next PDF gets a name of its own

    // With text: off the GUI thread, the preview running on.
    static_cast<QCheckBox*>(child("checkBox_searchablePdf"))->click();
    const double peakBefore = peakMb();
    resetPeak();
    paints.reset();
    std::vector<double> doneAt;
    clock.restart();
    static_cast<QPushButton*>(panel->findChild<QWidget*>(QStringLiteral("pushButton")))->click();
    int lastValue = 0;
    const bool finished = waitUntil([&] {
        if (auto* progress = window.findChild<QProgressDialog*>(QStringLiteral("searchablePdfProgress"))) {
            for (; lastValue < progress->value(); ++lastValue)
                doneAt.push_back(clock.nsecsElapsed() / 1e9);
        }
        return strip->Count() > photoPaths.size();
    }, 600000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double paintedFps = paints.count() / seconds;
    const double peak = peakMb();
    if (!finished) {
        fprintf(stderr, "the searchable PDF did not finish\n");
        return 1;
    }
    const QFileInfo searchable = newestPdf();
    std::vector<double> intervals;
    for (size_t i = 0; i < doneAt.size(); ++i)
        intervals.push_back(doneAt[i] - (i ? doneAt[i - 1] : 0));
    std::sort(intervals.begin(), intervals.end());
    printf("pdf plain: %d pages, %.2f s on the GUI thread, %lld bytes\n", pages, plainSeconds, plainSize);
    printf("pdf searchable: %d pages, %.1f s, %.2f s a page (median between pages %.2f s), %lld bytes (+%.1f%%), "
           "preview %.1f fps painted meanwhile, peak memory %.0f MB (%.0f MB before)\n",
           pages, seconds, seconds / pages, intervals.empty() ? 0 : intervals[intervals.size() / 2],
           searchable.size(), 100.0 * (searchable.size() - plainSize) / plainSize, paintedFps, peak,
           peakBefore);
    // Per kind of page: the pages' errors over all printed characters.
    const size_t kindCount = size_t(TextPages::names().size());
    std::vector<double> wrong[2] = {std::vector<double>(kindCount), std::vector<double>(kindCount)};
    std::vector<double> printed[2] = {std::vector<double>(kindCount), std::vector<double>(kindCount)};
    int allWords = 0, allOutside = 0;
    for (int k = 0; k < pages; ++k) {
        const QString read = run({"-f", QString::number(k + 1), "-l", QString::number(k + 1), searchable.filePath(), "-"});
        int words = 0;
        const int outside = wordsOutside(searchable.filePath(), k + 1, QImage(photoPaths[k]).size(), &words);
        allWords += words;
        allOutside += outside;
        double share[2];
        for (int han = 0; han < 2; ++han) {
            const std::vector<uint> truth = only(truths[kinds[k]], han != 0);
            share[han] = rightShare(truths[kinds[k]], read, han != 0);
            wrong[han][size_t(kinds[k])] += (1 - share[han]) * double(truth.size());
            printed[han][size_t(kinds[k])] += double(truth.size());
        }
        printf("page %d %s: chinese %.4f english %.4f words %d outside %d\n", k + 1,
               qPrintable(TextPages::names()[kinds[k]]), share[1], share[0], words, outside);
    }
    for (size_t kind = 0; kind < kindCount; ++kind) {
        printf("%s pages: chinese %.4f english %.4f right\n", qPrintable(TextPages::names()[int(kind)]),
               printed[1][kind] ? 1 - wrong[1][kind] / printed[1][kind] : 1.0,
               printed[0][kind] ? 1 - wrong[0][kind] / printed[0][kind] : 1.0);
    }
    printf("words outside their picture: %d of %d\n", allOutside, allWords);
    fflush(stdout);
    QFile::copy(searchable.filePath(), QDir(folder).filePath(QStringLiteral("searchable.pdf")));
    QMetaObject::invokeMethod(panel, "closeVieo", Q_ARG(bool, false));
    window.close();
    return 0;
}
