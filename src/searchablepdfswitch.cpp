#include "searchablepdfswitch.h"

#include "searchablepdfjob.h"
#include "textrecognition.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QMetaObject>
#include <QProgressDialog>

namespace {

QString caption(const char* text)
{
    return QCoreApplication::translate("Dialog", text);
}

} // namespace

SearchablePdfSwitch::SearchablePdfSwitch(QFormLayout* form, QObject* parent)
    : QObject(parent)
    , m_box(new QCheckBox(caption("可搜索PDF"), form->parentWidget()))
{
    m_box->setObjectName(QStringLiteral("checkBox_searchablePdf"));
    m_box->setChecked(false);
    form->addRow(m_box);
    // Loading the engine and its languages takes a fraction of a second:
    // not on the GUI thread, and not ahead of the window's first frames.
    // A plain thread, joined by stop(): one merely flagged as done would still
    // be running its thread-local destructors while the process exits.
    m_check = std::thread([this] {
        SearchablePdfJob::lowerThisThreadsPriority();
        const QString missing = TextRecognition::missingPackages();
        QMetaObject::invokeMethod(this, "onAvailability", Qt::QueuedConnection, Q_ARG(QString, missing));
    });
}

SearchablePdfSwitch::~SearchablePdfSwitch()
{
    stop();
}

bool SearchablePdfSwitch::isOn() const
{
    return m_box->isEnabled() && m_box->isChecked();
}

void SearchablePdfSwitch::onAvailability(const QString& missing)
{
    if (missing.isEmpty())
        return;
    m_box->setChecked(false);
    m_box->setEnabled(false);
    m_box->setToolTip(caption("文字识别不可用，请安装 Debian 软件包：%1\n（sudo apt install %1）").arg(missing));
}

void SearchablePdfSwitch::compose(const QStringList& pictures, const QString& outPath)
{
    if (busy()) {
        if (m_dialog) {
            m_dialog->show();
            m_dialog->raise();
        }
        return;
    }
    m_cancelled = false;
    m_job = new SearchablePdfJob(pictures, outPath);
    connect(m_job, &SearchablePdfJob::progress, this, &SearchablePdfSwitch::onProgress);
    connect(m_job, &SearchablePdfJob::finished, this, &SearchablePdfSwitch::onFinished);

    m_dialog = new QProgressDialog(caption("正在识别文字…"), caption("取消"), 0, pictures.size(), m_box->window());
    m_dialog->setObjectName(QStringLiteral("searchablePdfProgress"));
    m_dialog->setWindowTitle(caption("合成PDF"));
    // The window stays usable: photos taken meanwhile join the strip.
    m_dialog->setWindowModality(Qt::NonModal);
    m_dialog->setMinimumDuration(0);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_dialog, &QProgressDialog::canceled, this, &SearchablePdfSwitch::onCancel);
    onProgress(0, pictures.size());
    m_dialog->show();
    emit busyChanged(true);
    m_job->start();
}

void SearchablePdfSwitch::onProgress(int done, int total)
{
    if (!m_dialog || m_cancelled)
        return;
    m_dialog->setValue(done);
    m_dialog->setLabelText(done < total ? caption("正在识别文字…\n第 %1 页，共 %2 页").arg(done + 1).arg(total)
                                        : caption("正在写入PDF…"));
}

void SearchablePdfSwitch::onCancel()
{
    if (!m_job || m_cancelled)
        return;
    if (!m_job->cancel())
        return; // too late: the complete file is going in place, finished follows
    m_cancelled = true;
    if (m_dialog)
        m_dialog->close();
    // The workers notice within moments; the job goes once they have.
    connect(m_job, &SearchablePdfJob::ended, this, &SearchablePdfSwitch::endJob, Qt::UniqueConnection);
}

void SearchablePdfSwitch::onFinished(bool ok, SaveProblem problem)
{
    if (m_dialog)
        m_dialog->close();
    const QString path = m_job ? m_job->outPath() : QString();
    endJob();
    if (ok)
        emit written(path);
    else
        emit failed(problem);
}

void SearchablePdfSwitch::endJob()
{
    if (!m_job)
        return;
    delete m_job; // its thread has ended or ends within moments
    m_job = nullptr;
    emit busyChanged(false);
}

void SearchablePdfSwitch::stop()
{
    // The check is not left running into the process's exit; what it posts
    // after this goes with the switch.
    if (m_check.joinable())
        m_check.join();
    if (m_job) {
        m_job->cancel();
        m_cancelled = true;
    }
    if (m_dialog)
        m_dialog->close();
    endJob();
}
