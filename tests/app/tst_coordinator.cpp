// The panel coordinator's switching rules, one case per branch of its state
// table (its relay across threads rides on every photo of
// tst_mainwindow.cpp). Widget::Type values: -1 none, 0 back, 1 camera, 2 ID card.
#include "customInterface/widget.h"

#include <QtTest>

namespace {

// Runs "set d r status", "acq t" or "rel t" on the coordinator.
void run(const QString& op)
{
    const QStringList f = op.split(QLatin1Char(' '));
    const auto type = [&](int i) { return static_cast<Widget::Type>(f.at(i).toInt()); };
    if (f.at(0) == QLatin1String("set"))
        Widget::instance()->setWidgetType(type(1), type(2), f.at(3));
    else if (f.at(0) == QLatin1String("acq"))
        Widget::instance()->acquireWidgetType(type(1));
    else
        Widget::instance()->releaseWidgetType(type(1));
}

} // namespace

class CoordinatorTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        // Back to the start state: no preemption, camera panel current.
        for (int t = 0; t <= 2; ++t)
            Widget::instance()->releaseWidgetType(static_cast<Widget::Type>(t));
        Widget::instance()->setWidgetType(Widget::T_camare, Widget::T_camare, WidgetStatus::Show);
    }

    void stateTable_data()
    {
        QTest::addColumn<QString>("setup");      // operations, ";" between them
        QTest::addColumn<QString>("events");     // operations, ";" between them
        QTest::addColumn<QString>("broadcasts"); // "dest req status", in order
        QTest::addColumn<int>("current");
        QTest::newRow("idle: set Show switches") << "" << "set 2 1 Show" << "2 1 Show" << 2;
        QTest::newRow("idle: set other-case show keeps current") << "" << "set 2 1 show" << "2 1 show" << 1;
        QTest::newRow("idle: acquire preempts, release hands back")
            << "" << "acq 2;rel 2" << "2 1 RequestShow;1 1 RequestShow" << 1;
        QTest::newRow("idle: release, and acquire none, do nothing") << "" << "rel 2;acq -1;rel -1" << "" << 1;
        QTest::newRow("preempted: set to the preempting type broadcasts") << "acq 2" << "set 2 1 Show" << "2 1 Show" << 2;
        QTest::newRow("preempted: other type held silently") << "acq 2" << "set 1 2 Show;rel 2" << "1 1 RequestShow" << 1;
        QTest::newRow("preempted: held type without Show keeps current")
            << "set 0 1 Show;acq 2" << "set 1 2 RequestShow;rel 2" << "1 0 RequestShow" << 0;
        QTest::newRow("preempted: acquire again, release by another: nothing") << "acq 2" << "acq 0;rel 0" << "" << 1;
    }

    void stateTable()
    {
        QFETCH(QString, setup);
        QFETCH(QString, events);
        QFETCH(QString, broadcasts);
        QFETCH(int, current);
        for (const QString& op : setup.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            run(op);
        // Widget::Type is not a registered meta-type, so no QSignalSpy: record directly.
        QStringList seen;
        QObject recorder;
        connect(Widget::instance(), &Widget::onWidgetTypeChange, &recorder,
                [&](Widget::Type dest, Widget::Type req, const QString& status) {
                    seen << QStringLiteral("%1 %2 %3").arg(int(dest)).arg(int(req)).arg(status);
                });
        for (const QString& op : events.split(QLatin1Char(';')))
            run(op);
        QCOMPARE(seen.join(QLatin1Char(';')), broadcasts);
        QCOMPARE(int(Widget::instance()->currentWidgetType()), current);
    }
};

QTEST_MAIN(CoordinatorTest)
#include "tst_coordinator.moc"
