#include "Foundation/Error.h"
#include "TestSupport/RussianText.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using namespace Qt::StringLiterals;
using namespace Vetron;

class ErrorTextsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void describeErrorNeverGivesAnEmptyOrForeignText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("expected");
        const QString generic = u"Произошла непредвиденная ошибка."_s;
        QTest::addRow("own error") << 0 << u"Сервер защиты не ответил."_s;
        QTest::addRow("own error without text") << 1 << generic;
        QTest::addRow("not one of ours") << 2 << generic;
        QTest::addRow("no exception") << 4 << generic;
    }

    void describeErrorNeverGivesAnEmptyOrForeignText()
    {
        QFETCH(int, kind);
        QFETCH(QString, expected);
        std::exception_ptr error;
        try {
            switch (kind) {
            case 0:
                throw Error(u"Сервер защиты не ответил."_s);
            case 1:
                throw Error(QString());
            case 2:
                throw std::runtime_error("connection reset");
            default:
                break;
            }
        } catch (...) {
            error = std::current_exception();
        }
        QCOMPARE(describeError(error), expected);
    }

    void missingFileIsDescribedInRussian()
    {
        QTemporaryDir directory;
        QFile file(directory.filePath(u"config.json"_s));
        QVERIFY(!file.open(QIODevice::ReadOnly));
        const FileError error = FileError::fromFile(u"Не удалось прочитать файл"_s, file);
        QCOMPARE(error.path(), file.fileName());
        QCOMPARE(error.description(),
            u"Не удалось прочитать файл "_s + file.fileName() + u": Файл или папка не найдены."_s);
        QCOMPARE(Test::nonRussianPart(error.description(), { file.fileName() }), QString());
    }
};

QTEST_GUILESS_MAIN(ErrorTextsTest)
#include "tst_ErrorTexts.moc"
