#include "App/BrandAssets.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;

class BrandAssetsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Two decodable logos told apart by their width, and a file that is no image at all.
        QVERIFY(QImage(10, 5, QImage::Format_ARGB32).save(path(u"narrow.png"_s)));
        QVERIFY(QImage(20, 5, QImage::Format_ARGB32).save(path(u"wide.png"_s)));
        QFile broken(path(u"broken.png"_s));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a picture");
    }

    void firstDecodableCandidateWins_data()
    {
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<int>("width"); // 0: no logo
        QTest::addRow("first of two") << QStringList { u"narrow.png"_s, u"wide.png"_s } << 10;
        QTest::addRow("missing skipped") << QStringList { u"absent.png"_s, u"wide.png"_s } << 20;
        QTest::addRow("undecodable skipped") << QStringList { u"broken.png"_s, u"narrow.png"_s } << 10;
        QTest::addRow("none decodes") << QStringList { u"broken.png"_s, u"absent.png"_s } << 0;
    }

    void firstDecodableCandidateWins()
    {
        QFETCH(QStringList, candidates);
        QFETCH(int, width);
        for (QString &candidate : candidates)
            candidate = path(candidate);
        const std::optional<QImage> logo = BrandAssets::firstLoadable(candidates);
        QCOMPARE(logo.has_value(), width != 0);
        if (logo)
            QCOMPARE(logo->width(), width);
    }

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

QTEST_MAIN(BrandAssetsTest)
#include "tst_BrandAssets.moc"
