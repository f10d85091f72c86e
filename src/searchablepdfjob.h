#ifndef TAVIK_SEARCHABLEPDFJOB_H
#define TAVIK_SEARCHABLEPDFJOB_H

#include "saveproblem.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <thread>

// Writes a searchable PDF off the GUI thread: recognises the text of every
// picture, one page per core at a lower priority than the preview, then
// writes the document "合成PDF" writes, page for page, and lays the words
// invisibly over their pictures. The file appears under its name only when
// it is whole; a cancelled or failed job leaves nothing.
//
// Construct, connect and start on the GUI thread; the signals arrive there.
// Destroying the job cancels it and waits for its threads.
class SearchablePdfJob : public QObject
{
    Q_OBJECT

public:
    SearchablePdfJob(const QStringList& pictures, const QString& outPath, QObject* parent = nullptr);
    ~SearchablePdfJob() override;

    void start();
    // Stops the work as soon as the engine notices: finished is not emitted
    // and no file appears. False when it came too late (the complete file is
    // being put in place): finished follows as usual.
    bool cancel();

    int pageCount() const { return m_pictures.size(); }

    // Lets the preview and the capture thread keep their share of the cores
    // while the calling thread reads pages. Any thread.
    static void lowerThisThreadsPriority();
    QString outPath() const { return m_outPath; }

signals:
    // Pictures done out of all, as recognition goes.
    void progress(int done, int total);
    // The document is complete under outPath (ok), or was not written
    // (problem says why).
    void finished(bool ok, SaveProblem problem);
    // The job's threads are done (after finished, or after a cancel).
    void ended();

private:
    // Worker thread.
    void run();
    void work();

    // Whether to go on, decided once between the GUI's cancel and the
    // worker's putting the file in place.
    enum class State { Working, Cancelled, Committing };
    bool cancelled() const { return m_state == State::Cancelled; }

    const QStringList m_pictures;
    const QString m_outPath;
    std::atomic<State> m_state{State::Working};
    std::thread m_thread;
};

#endif // TAVIK_SEARCHABLEPDFJOB_H
