#include "cameraaccess.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using CameraAccess::NodeState;
Q_DECLARE_METATYPE(CameraAccess::NodeState)

// Stands for access() of a user who is neither root nor in the node's group:
// the owner bits of the test files decide.
static bool ownerMayReadWrite(const QString& path)
{
    const QFileDevice::Permissions p = QFile::permissions(path);
    return (p & QFileDevice::ReadOwner) && (p & QFileDevice::WriteOwner);
}

class CameraAccessTest : public QObject
{
    Q_OBJECT

private slots:
    // nodes: "name:rw" files made in a scratch /dev, r and w the owner's
    // permissions; "-" for a folder that does not exist.
    void nodeState_tellsNoNodesFromNodesWithoutPermission_data()
    {
        QTest::addColumn<QStringList>("nodes");
        QTest::addColumn<NodeState>("expected");
        QTest::newRow("missing folder") << QStringList{"-"} << NodeState::NoNodes;
        QTest::newRow("other devices only") << QStringList{"media0:rw", "vbi0:", "v4l-subdev0:"} << NodeState::NoNodes;
        QTest::newRow("one node, not permitted") << QStringList{"video0:"} << NodeState::NoPermission;
        QTest::newRow("read-only node") << QStringList{"video0:r"} << NodeState::NoPermission;
        QTest::newRow("second node permitted") << QStringList{"video0:", "video1:rw"} << NodeState::Openable;
    }
    void nodeState_tellsNoNodesFromNodesWithoutPermission()
    {
        QFETCH(QStringList, nodes);
        QFETCH(NodeState, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const QString& node : nodes) {
            if (node == "-") {
                QVERIFY(dir.remove());
                continue;
            }
            const QStringList parts = node.split(QLatin1Char(':'));
            QFile file(dir.filePath(parts.at(0)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            QVERIFY(file.setPermissions((parts.at(1).contains('r') ? QFileDevice::ReadOwner : QFileDevice::Permissions())
                                        | (parts.at(1).contains('w') ? QFileDevice::WriteOwner : QFileDevice::Permissions())));
        }
        QCOMPARE(CameraAccess::nodeState(dir.path(), ownerMayReadWrite), expected);
        if (expected == NodeState::Openable)
            QVERIFY(CameraAccess::mayOpenForCapture(dir.filePath(nodes.last().section(':', 0, 0))));
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

    // A listed camera that would not open: the group fix only where its node
    // refuses the user, otherwise that it cannot be opened (busy, gone).
    void openFailedHint_namesTheGroupFixOnlyForARefusedNode_data()
    {
        QTest::addColumn<QString>("permissions"); // of the node file; "-": no file (the virtual camera)
        QTest::addColumn<bool>("namesGroupFix");
        QTest::newRow("node refuses the user") << "" << true;
        QTest::newRow("node the user may open (busy)") << "rw" << false;
        QTest::newRow("no node on disk") << "-" << false;
    }
    void openFailedHint_namesTheGroupFixOnlyForARefusedNode()
    {
        QFETCH(QString, permissions);
        QFETCH(bool, namesGroupFix);
        QTemporaryDir dir;
        const QString node = dir.filePath(QStringLiteral("video0"));
        if (permissions != QLatin1String("-")) {
            QFile file(node);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            QVERIFY(file.setPermissions(permissions.isEmpty() ? QFileDevice::Permissions()
                                                              : QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        }
        const QString hint = CameraAccess::openFailedHint(node, ownerMayReadWrite);
        QCOMPARE(hint.contains(QStringLiteral("“video”组")), namesGroupFix);
        QCOMPARE(hint.contains(QStringLiteral("摄像头无法打开")), !namesGroupFix);
    }
};

QTEST_GUILESS_MAIN(CameraAccessTest)
#include "tst_cameraaccess.moc"
