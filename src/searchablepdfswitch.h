#ifndef TAVIK_SEARCHABLEPDFSWITCH_H
#define TAVIK_SEARCHABLEPDFSWITCH_H

#include "saveproblem.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <thread>

class QCheckBox;
class QFormLayout;
class QProgressDialog;
class QWidget;
class SearchablePdfJob;

// The "可搜索PDF" box (checkBox_searchablePdf), a row of its own at the end of
// the settings column, unchecked at start; and the searchable PDFs it asks
// for. Right after start it checks, off the GUI thread, that text recognition
// works; where it does not, the box is disabled and its tooltip names the
// Debian packages to install.
//
// compose runs one job at a time behind a progress dialog ("正在识别文字…",
// page k of n, a cancel button) that leaves the window usable: the preview
// runs on, photos join the strip. A cancel leaves no file and says nothing.
//
// GUI thread. Destroying it cancels a running job and waits for it.
class SearchablePdfSwitch : public QObject
{
    Q_OBJECT

public:
    // Adds the box to form; the box and the dialog belong to form's widget.
    SearchablePdfSwitch(QFormLayout* form, QObject* parent);
    ~SearchablePdfSwitch() override;

    QCheckBox* box() const { return m_box; }
    // Checked (and so available).
    bool isOn() const;
    // A job is running (or winding down after a cancel).
    bool busy() const { return m_job != nullptr; }

    // Writes pictures with their text to outPath. Ends with written or
    // failed; shows the running job's dialog again when busy.
    void compose(const QStringList& pictures, const QString& outPath);
    // Cancels a running job and waits for its threads, and for the check
    // (the window closes).
    void stop();

signals:
    void written(const QString& path);
    void failed(SaveProblem problem);
    void busyChanged(bool busy);

private slots:
    void onAvailability(const QString& missing);
    void onProgress(int done, int total);
    void onFinished(bool ok, SaveProblem problem);
    void onCancel();

private:
    void endJob();

    QCheckBox* m_box;
    QPointer<QProgressDialog> m_dialog;   // Qt child of the form's widget while a job runs
    SearchablePdfJob* m_job = nullptr;    // owned; deleted when its thread has ended
    bool m_cancelled = false;             // the running job was cancelled: its end is silent
    std::thread m_check;                  // the availability check; posts its answer to this
};

#endif // TAVIK_SEARCHABLEPDFSWITCH_H
