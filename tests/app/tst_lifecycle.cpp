// Start-up and shutdown of the real program, run as separate processes.
#include <QProcess>
#include <QtTest>

class LifecycleTest : public QObject
{
    Q_OBJECT

    // Runs program in dir with the virtual camera until it ends.
    static void run(QProcess& app, const QString& dir, const QString& program)
    {
        app.setWorkingDirectory(dir);
        app.start(program, QStringList());
        QVERIFY(app.waitForFinished(60000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    }

private slots:
    void initTestCase() { qputenv("TAVIK_VIRTUAL_CAMERA", "1"); }

    void missingImageProcLibrary_endsWithStatus1AndLoaderMessage()
    {
        if (QFile::exists(QStringLiteral("/opt/tavikApp/lib/libImageProc.so")))
            QSKIP("an installed libImageProc.so would be found first");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QDir build(QStringLiteral(TAVIK_BINARY_DIR));
        const QString app = dir.filePath(QStringLiteral("tavikApp"));
        QVERIFY(QFile::copy(build.filePath(QStringLiteral("tavikApp")), app));
        QVERIFY(QFile::copy(QFileInfo(build.filePath(QStringLiteral("libcamera.so"))).canonicalFilePath(),
                            dir.filePath(QStringLiteral("libcamera.so"))));
        QProcess process;
        run(process, dir.path(), app);
        QCOMPARE(process.exitCode(), 1);
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("./lib/libImageProc.so")), qPrintable(err));
    }

    // The image modes come with the library; one without them leaves their
    // box disabled, and everything else as it was.
    void libraryWithoutImageModes_boxDisabled_programRuns()
    {
        if (QFile::exists(QStringLiteral("/opt/tavikApp/lib/libImageProc.so")))
            QSKIP("an installed libImageProc.so would be found first");
        QTemporaryDir dir;
        QVERIFY(dir.isValid() && QDir(dir.path()).mkdir(QStringLiteral("lib")));
        QVERIFY(QFile::copy(QStringLiteral(TAVIK_BINARY_DIR "/tests/libimageproc_without_modes.so"),
                            dir.filePath(QStringLiteral("lib/libImageProc.so"))));
        QProcess process;
        run(process, dir.path(), QStringLiteral(TAVIK_BINARY_DIR "/tests/app_probe"));
        QCOMPARE(process.exitCode(), 0);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("title=塔维克高拍仪软件v1.0.0\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("imageModes=disabled\n")), qPrintable(out));
    }

    void closingTheWindow_endsWithStatus0()
    {
        QProcess process;
        run(process, QStringLiteral(TAVIK_BINARY_DIR), QStringLiteral(TAVIK_BINARY_DIR "/tests/app_probe"));
        QCOMPARE(process.exitCode(), 0);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(out.contains(QStringLiteral("title=塔维克高拍仪软件v1.0.0\n")), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("imageModes=enabled\n")), qPrintable(out));
    }
};

QTEST_MAIN(LifecycleTest)
#include "tst_lifecycle.moc"
