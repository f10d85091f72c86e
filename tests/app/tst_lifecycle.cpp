// Start-up and shutdown of the real program, run as separate processes.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class LifecycleTest : public QObject
{
    Q_OBJECT

private slots:
    void missingImageProcLibrary_endsWithStatus1AndLoaderMessage()
    {
        if (QFile::exists(QStringLiteral("/opt/tavikApp/lib/libImageProc.so")))
            QSKIP("an installed libImageProc.so would be found first");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QDir build(QStringLiteral(TAVIK_BINARY_DIR));
        QVERIFY(QFile::copy(build.filePath(QStringLiteral("tavikApp")), dir.filePath(QStringLiteral("tavikApp"))));
        QVERIFY(QFile::copy(QFileInfo(build.filePath(QStringLiteral("libcamera.so"))).canonicalFilePath(),
                            dir.filePath(QStringLiteral("libcamera.so"))));
        QFile(dir.filePath(QStringLiteral("tavikApp"))).setPermissions(QFile::ExeOwner | QFile::ReadOwner);

        QProcess app;
        app.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TAVIK_VIRTUAL_CAMERA"), QStringLiteral("1"));
        app.setProcessEnvironment(env);
        app.start(dir.filePath(QStringLiteral("tavikApp")), QStringList());
        QVERIFY(app.waitForFinished(20000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 1);
        const QString err = QString::fromLocal8Bit(app.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("./lib/libImageProc.so")), qPrintable(err));
    }

    void closingTheWindow_endsWithStatus0()
    {
        QProcess app;
        app.setWorkingDirectory(QStringLiteral(TAVIK_BINARY_DIR));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TAVIK_VIRTUAL_CAMERA"), QStringLiteral("1"));
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(TAVIK_BINARY_DIR "/tests/app_probe"), QStringList());
        QVERIFY(app.waitForFinished(20000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
        const QString out = QString::fromUtf8(app.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("title=塔维克高拍仪软件v1.0.0\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("size=1249x561\n")), qPrintable(out));
    }
};

QTEST_MAIN(LifecycleTest)
#include "tst_lifecycle.moc"
