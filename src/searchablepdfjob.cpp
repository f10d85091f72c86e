#include "searchablepdfjob.h"

#include "pdfcomposer.h"
#include "pdftextlayer.h"
#include "textrecognition.h"
#include "textruns.h"

#include <QDebug>
#include <QFileInfo>
#include <QImage>
#include <QMetaObject>
#include <QThread>
#include <QVector>

#include <algorithm>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// A picture's words in its page's PDF space, in runs that text tools read
// as the engine read them.
QVector<PdfTextLayer::Word> onPage(const QVector<TextRecognition::Word>& words,
                                   const PdfComposer::PlacedPicture& placed)
{
    QVector<PdfTextLayer::Word> out;
    if (placed.pixels.isEmpty())
        return out;
    const double scale = placed.rectPoints.width() / placed.pixels.width();
    const double top = placed.rectPoints.y() + placed.rectPoints.height();
    for (const TextRecognition::Word& w : TextRuns::runs(words)) {
        PdfTextLayer::Word p;
        p.left = placed.rectPoints.x() + w.box.left() * scale;
        p.width = (w.box.right() + 1 - w.box.left()) * scale;
        p.bottom = top - w.lineBottom * scale;
        p.height = (w.lineBottom - w.lineTop) * scale;
        p.text = w.text;
        out.append(p);
    }
    return out;
}

} // namespace

void SearchablePdfJob::lowerThisThreadsPriority()
{
    // Linux gives each thread a nice value of its own.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
}

SearchablePdfJob::SearchablePdfJob(const QStringList& pictures, const QString& outPath, QObject* parent)
    : QObject(parent)
    , m_pictures(pictures)
    , m_outPath(outPath)
{
    qRegisterMetaType<SaveProblem>();
}

SearchablePdfJob::~SearchablePdfJob()
{
    cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void SearchablePdfJob::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

bool SearchablePdfJob::cancel()
{
    State working = State::Working;
    return m_state.compare_exchange_strong(working, State::Cancelled) || m_state == State::Cancelled;
}

void SearchablePdfJob::run()
{
    work();
    QMetaObject::invokeMethod(this, "ended", Qt::QueuedConnection);
}

void SearchablePdfJob::work()
{
    lowerThisThreadsPriority();
    const auto finish = [this](bool ok, SaveProblem problem) {
        QMetaObject::invokeMethod(this, "finished", Qt::QueuedConnection, Q_ARG(bool, ok), Q_ARG(SaveProblem, problem));
    };
    // A folder that is gone or read-only is said at once, not after every
    // page has been read.
    const QString folder = QFileInfo(m_outPath).path();
    const SaveProblem early = SaveProblems::diagnose(folder);
    if (early == SaveProblem::FolderMissing || early == SaveProblem::FolderNotWritable) {
        qDebug().noquote() << "PDF not written:" << m_outPath << "-" << SaveProblems::describe(early);
        finish(false, early);
        return;
    }
    const int total = m_pictures.size();
    std::vector<QVector<TextRecognition::Word>> words(static_cast<size_t>(total));
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::atomic<bool> failed{false};
    const auto stop = [this] { return cancelled(); };
    // Pages are independent: each worker takes the next one until none is
    // left, with an engine of its own.
    const auto work = [&] {
        lowerThisThreadsPriority();
        TextRecognition::Engine engine;
        if (!engine.open()) {
            failed = true;
            return;
        }
        for (int i; !cancelled() && !failed && (i = next++) < total;) {
            const QImage picture(m_pictures.at(i));
            // A picture that does not load takes no page, as in any PDF.
            if (!picture.isNull() && !engine.recognise(picture, stop, &words[static_cast<size_t>(i)]) && !cancelled())
                qDebug().noquote() << "searchable PDF: no text read from" << m_pictures.at(i);
            QMetaObject::invokeMethod(this, "progress", Qt::QueuedConnection, Q_ARG(int, ++done), Q_ARG(int, total));
        }
    };
    const int workers = std::clamp(QThread::idealThreadCount(), 1, std::max(1, total));
    std::vector<std::thread> threads;
    for (int k = 1; k < workers; ++k)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();
    if (cancelled())
        return;
    if (failed) {
        qDebug().noquote() << "PDF not written:" << m_outPath << "- the text recognition engine did not start";
        finish(false, SaveProblem::WriteFailed);
        return;
    }

    // The document "合成PDF" writes, with the words over the pictures. From
    // here a cancel comes too late: the file is going in place.
    State working = State::Working;
    if (!m_state.compare_exchange_strong(working, State::Committing))
        return;
    SaveProblem problem = SaveProblem::None;
    const bool ok = PdfComposer::compose(m_pictures, m_outPath, &problem, [&words](const PdfComposer::PlacedPicture& p) {
        return onPage(words.at(static_cast<size_t>(p.entry)), p);
    });
    finish(ok, problem);
}
