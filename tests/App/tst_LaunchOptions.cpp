#include "App/LaunchOptions.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;

class LaunchOptionsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void previewDirectoryFollowsTheFirstSwitch_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("directory"); // null: start the application
        QTest::addRow("no switch") << QStringList { u"vetron"_s, u"/tmp/p"_s } << QString();
        QTest::addRow("switch last") << QStringList { u"vetron"_s, u"--render-previews"_s } << QString();
        QTest::addRow("switch and directory")
            << QStringList { u"vetron"_s, u"-x"_s, u"--render-previews"_s, u"/tmp/p"_s } << u"/tmp/p"_s;
        QTest::addRow("first switch wins")
            << QStringList { u"vetron"_s, u"--render-previews"_s, u"--render-previews"_s, u"/tmp/p"_s }
            << u"--render-previews"_s;
        QTest::addRow("program name is not an argument")
            << QStringList { u"--render-previews"_s, u"/tmp/p"_s } << QString();
    }

    void previewDirectoryFollowsTheFirstSwitch()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, directory);
        QCOMPARE(LaunchOptions::previewDirectory(arguments).value_or(QString()), directory);
    }

    // A developer build told to use a local stack that is not there stops with the reason
    // instead of starting against the build's own servers.
    void missingLocalStackStopsTheClient_data()
    {
        QTest::addColumn<QByteArray>("file"); // null: no file at all
        QTest::addRow("no file") << QByteArray();
        QTest::addRow("no values") << QByteArray("{\"serverBase\": \"https://127.0.0.1:1\"}");
    }

    void missingLocalStackStopsTheClient()
    {
        QFETCH(QByteArray, file);
        QTemporaryDir folder;
        if (!file.isNull()) {
            QFile written(folder.filePath(u"client.json"_s));
            QVERIFY(written.open(QIODevice::WriteOnly) && written.write(file) == file.size());
        }
        QProcess process;
        process.start(QStringLiteral(VETRON_EXECUTABLE), { u"--local-stack"_s, folder.path() });
        QVERIFY(process.waitForFinished(30'000));
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(QString::fromUtf8(process.readAllStandardError())
                    .startsWith(u"Ветрон: локальные службы не найдены — "_s));
    }
};

QTEST_GUILESS_MAIN(LaunchOptionsTest)
#include "tst_LaunchOptions.moc"
