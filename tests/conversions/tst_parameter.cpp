#include "customInterface/parameter.h"

#include <QCoreApplication>
#include <QTest>

class TestParameter : public QObject
{
    Q_OBJECT

private slots:
    void softVersion_isTitleFollowedDirectlyByVersion();
    void instance_isOneObjectOwnedByTheApplication();
};

void TestParameter::softVersion_isTitleFollowedDirectlyByVersion()
{
    QCOMPARE(Parameter::instance()->m_softVersion, QString::fromUtf8("塔维克高拍仪软件v1.0.0"));
}

void TestParameter::instance_isOneObjectOwnedByTheApplication()
{
    QCOMPARE(Parameter::instance(), Parameter::instance());
    QCOMPARE(Parameter::instance()->parent(), QCoreApplication::instance());
    QCOMPARE(Parameter::instance()->metaObject()->className(), "Parameter");
}

QTEST_GUILESS_MAIN(TestParameter)
#include "tst_parameter.moc"
