// The preview's hint for an empty camera list: no camera at all, or cameras
// the user may not open (not in the group "video").
#include "cameraaccess.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using CameraAccess::NodeState;

Q_DECLARE_METATYPE(CameraAccess::NodeState)

namespace {

// Stands for access() of a user who is neither root nor in the node's group:
// the owner bits of the test files decide.
bool ownerMayReadWrite(const QString& path)
{
    const QFileDevice::Permissions p = QFile::permissions(path);
    return (p & QFileDevice::ReadOwner) && (p & QFileDevice::WriteOwner);
}

// Creates each "name:mode" (octal mode) as an empty file in dir.
bool makeNodes(const QTemporaryDir& dir, const QStringList& nodes)
{
    for (const QString& node : nodes) {
        const QStringList parts = node.split(QLatin1Char(':'));
        QFile file(dir.filePath(parts.at(0)));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.close();
        const int mode = parts.at(1).toInt(nullptr, 8);
        QFileDevice::Permissions p;
        if (mode & 0400)
            p |= QFileDevice::ReadOwner;
        if (mode & 0200)
            p |= QFileDevice::WriteOwner;
        if (!file.setPermissions(p))
            return false;
    }
    return true;
}

} // namespace

class CameraAccessTest : public QObject
{
    Q_OBJECT

private slots:
    void nodeState_tellsNoNodesFromNodesWithoutPermission_data()
    {
        QTest::addColumn<QStringList>("nodes");
        QTest::addColumn<NodeState>("expected");
        QTest::newRow("empty folder") << QStringList() << NodeState::NoNodes;
        QTest::newRow("other devices only") << QStringList{"media0:600", "vbi0:000", "v4l-subdev0:000"}
                                            << NodeState::NoNodes;
        QTest::newRow("one node, not permitted") << QStringList{"video0:000"} << NodeState::NoPermission;
        QTest::newRow("read-only node") << QStringList{"video0:400"} << NodeState::NoPermission;
        QTest::newRow("two nodes, neither permitted") << QStringList{"video0:000", "video1:000", "media0:600"}
                                                      << NodeState::NoPermission;
        QTest::newRow("second node permitted") << QStringList{"video0:000", "video1:600"} << NodeState::Openable;
        QTest::newRow("one node, permitted") << QStringList{"video0:600"} << NodeState::Openable;
    }
    void nodeState_tellsNoNodesFromNodesWithoutPermission()
    {
        QFETCH(QStringList, nodes);
        QFETCH(NodeState, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(makeNodes(dir, nodes));
        QCOMPARE(CameraAccess::nodeState(dir.path(), ownerMayReadWrite), expected);
    }

    void nodeState_missingFolder_isNoNodes()
    {
        QCOMPARE(CameraAccess::nodeState(QStringLiteral("/nonexistent/tavik-dev")), NodeState::NoNodes);
    }

    void mayOpenForCapture_needsAnExistingReadableWritableNode()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(makeNodes(dir, {"video0:600"}));
        QVERIFY(CameraAccess::mayOpenForCapture(dir.filePath(QStringLiteral("video0"))));
        QVERIFY(!CameraAccess::mayOpenForCapture(dir.filePath(QStringLiteral("video9"))));
    }

    void emptyListHint_namesTheGroupFixOnlyForMissingPermission_data()
    {
        QTest::addColumn<NodeState>("state");
        QTest::addColumn<bool>("namesGroupFix");
        QTest::newRow("no nodes") << NodeState::NoNodes << false;
        QTest::newRow("no permission") << NodeState::NoPermission << true;
        QTest::newRow("openable but not listed") << NodeState::Openable << false;
    }
    void emptyListHint_namesTheGroupFixOnlyForMissingPermission()
    {
        QFETCH(NodeState, state);
        QFETCH(bool, namesGroupFix);
        const QString hint = CameraAccess::emptyListHint(state);
        QCOMPARE(hint.contains(QStringLiteral("“video”组")), namesGroupFix);
        QCOMPARE(hint.contains(QStringLiteral("重新登录")), namesGroupFix);
        QCOMPARE(hint.contains(QStringLiteral("初始化摄像头数据")), !namesGroupFix);
    }
};

QTEST_GUILESS_MAIN(CameraAccessTest)
#include "tst_cameraaccess.moc"
