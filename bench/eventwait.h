// Waiting in the measuring programs: the event loop runs meanwhile, so the
// window paints and the capture thread's frames arrive (GUI thread).
#ifndef TAVIK_BENCH_EVENTWAIT_H
#define TAVIK_BENCH_EVENTWAIT_H

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

// Runs the event loop until done() or ms have passed; done()'s last answer.
template <typename F>
bool waitUntil(F done, int ms)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

inline void waitFor(int ms)
{
    waitUntil([] { return false; }, ms);
}

#endif
