#include "App/Theme.h"
#include "Platform/Fonts.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QMetaProperty>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;

class ThemeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Views read the colours by property name, as QML does: each must be there and opaque.
    void everyColourReadsAsQmlSeesIt()
    {
        Theme theme;
        const QMetaObject &meta = Theme::staticMetaObject;
        QVERIFY(meta.propertyCount() > meta.propertyOffset());
        for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
            const QColor colour = theme.property(meta.property(i).name()).value<QColor>();
            QVERIFY2(colour.isValid() && colour.alpha() == 255, meta.property(i).name());
        }
    }

    void fontFamiliesAreInstalled_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addRow("system") << Platform::systemFontFamily();
        QTest::addRow("serif") << Platform::serifFontFamily();
        QTest::addRow("monospaced") << Platform::monospacedFontFamily();
    }

    // The family actually used must be the one asked for, not a silent substitute.
    void fontFamiliesAreInstalled()
    {
        QFETCH(QString, family);
        QCOMPARE(QFontInfo(QFont(family)).family(), family);
    }
};

QTEST_MAIN(ThemeTest)
#include "tst_Theme.moc"
