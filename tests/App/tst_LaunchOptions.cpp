#include "App/LaunchOptions.h"

#include <QProcess>
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

    // The process entry itself: a directory ends the process with 1 and a Russian sentence naming
    // it; the switch as the last argument starts the client as usual.
    void entryHonoursTheSwitch_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("standardError");
        QTest::addRow("with a directory")
            << QStringList { u"--render-previews"_s, u"/tmp/превью"_s } << 1
            << u"Ветрон: эта сборка не умеет рисовать превью экранов, каталог «/tmp/превью» оставлен как есть.\n"_s;
        QTest::addRow("as the last argument") << QStringList { u"--render-previews"_s } << 0 << QString();
    }

    void entryHonoursTheSwitch()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, standardError);
        QProcess process;
        process.start(QStringLiteral(VETRON_EXECUTABLE), arguments);
        QVERIFY(process.waitForFinished(30'000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()), standardError);
        QCOMPARE(process.readAllStandardOutput().startsWith("Ветрон "), exitCode == 0);
    }
};

QTEST_GUILESS_MAIN(LaunchOptionsTest)
#include "tst_LaunchOptions.moc"
