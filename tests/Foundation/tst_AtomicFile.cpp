#include "Foundation/AtomicFile.h"
#include "Foundation/Error.h"
#include "TestSupport/RussianText.h"
#include "TestSupport/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::modeOf;
using Vetron::Test::readFile;

class AtomicFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void permissionsAreExactlyTheRequestedOnes_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("expected");
        QTest::addRow("secret under a lax umask") << 0 << int(AtomicFile::ownerOnly) << 0600;
        QTest::addRow("readable under a strict umask") << 077 << int(AtomicFile::readableByAll) << 0644;
    }

    void permissionsAreExactlyTheRequestedOnes()
    {
        QFETCH(int, mask);
        QFETCH(int, requested);
        QFETCH(int, expected);
        QTemporaryDir directory;
        const QString path = directory.filePath(u"anontun"_s);
        const mode_t previous = ::umask(mode_t(mask));
        AtomicFile::write(path, "key", QFileDevice::Permissions::fromInt(requested));
        ::umask(previous);
        QCOMPARE(readFile(path), QByteArray("key"));
        QCOMPARE(modeOf(path), mode_t(expected));
    }

    void replacingLeavesOnlyTheNewFileBehind()
    {
        QTemporaryDir directory;
        const QString path = directory.filePath(u"config.json"_s);
        AtomicFile::write(path, "old contents that are longer", AtomicFile::ownerOnly);
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
        AtomicFile::write(path, "new", AtomicFile::ownerOnly);
        QCOMPARE(readFile(path), QByteArray("new"));
        QCOMPARE(modeOf(path), mode_t(0600));
        QCOMPARE(QDir(directory.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList { u"config.json"_s });
    }

    void readersNeverSeeAPartialFile()
    {
        QTemporaryDir directory;
        const QString path = directory.filePath(u"proxy-backup.json"_s);
        const QByteArray first(2 * 1024 * 1024, 'a');
        const QByteArray second(3 * 1024 * 1024, 'b');
        AtomicFile::write(path, first, AtomicFile::ownerOnly);

        std::atomic<bool> writing { true };
        std::atomic<int> reads { 0 };
        std::atomic<int> torn { 0 };
        std::thread reader([&]() {
            while (writing) {
                const QByteArray seen = readFile(path);
                if (seen != first && seen != second)
                    ++torn;
                ++reads;
            }
        });
        for (int round = 0; round < 20; ++round)
            AtomicFile::write(path, round % 2 ? first : second, AtomicFile::ownerOnly);
        writing = false;
        reader.join();
        QVERIFY(reads > 0);
        QCOMPARE(torn.load(), 0);
    }

    void missingDirectoryIsARussianFileError()
    {
        QTemporaryDir directory;
        const QString path = directory.filePath(u"absent/config.json"_s);
        try {
            AtomicFile::write(path, "{}", AtomicFile::ownerOnly);
            QFAIL("a file was written into a missing directory");
        } catch (const FileError &error) {
            QCOMPARE(error.path(), path);
            QCOMPARE(error.reason(), u"Файл или папка не найдены."_s);
            QCOMPARE(Test::nonRussianPart(error.description(), { path }), QString());
        }
        QVERIFY(!QFileInfo::exists(directory.filePath(u"absent"_s)));
    }
};

QTEST_GUILESS_MAIN(AtomicFileTest)
#include "tst_AtomicFile.moc"
