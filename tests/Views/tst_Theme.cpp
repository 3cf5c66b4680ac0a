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
    void everyColourIsExactAndOpaque_data()
    {
        QTest::addColumn<QString>("hex");
        const std::pair<const char *, const char *> palette[] {
            { "appBg", "#f7f4ec" },
            { "surface", "#ffffff" },
            { "innerPanel", "#f5f1e6" },
            { "innerStroke", "#e7e0ce" },
            { "cardStroke", "#ece8dc" },
            { "divider", "#efebe0" },
            { "ink", "#16352b" },
            { "muted", "#66756d" },
            { "faint", "#7c877e" },
            { "hint", "#8a9189" },
            { "accent", "#176b54" },
            { "accentLive", "#1f8a6b" },
            { "accentSoft", "#e7f0ea" },
            { "accentSoftHover", "#dce9e1" },
            { "chip", "#ebe6d9" },
            { "chipInk", "#4a5a52" },
            { "copper", "#a8551f" },
            { "copperSoft", "#f3e4d6" },
            { "danger", "#c23b2e" },
            { "dangerSoft", "#fbf1ef" },
            { "warnMeta", "#b96a00" },
            { "switchOff", "#d8d2c2" },
            { "ornament", "#c9bfa8" },
            { "systemOrange", "#ff9500" },
            { "systemGreen", "#34c759" },
        };
        for (const auto &[name, hex] : palette)
            QTest::addRow("%s", name) << QString::fromLatin1(hex);
        // The table above is the whole palette: a colour added to the theme needs a row here.
        QCOMPARE(Theme::staticMetaObject.propertyCount() - Theme::staticMetaObject.propertyOffset(),
            int(std::size(palette)));
    }

    void everyColourIsExactAndOpaque()
    {
        QFETCH(QString, hex);
        // Read as QML reads it: the singleton's property of that name.
        Theme theme;
        const QColor colour = theme.property(QTest::currentDataTag()).value<QColor>();
        QCOMPARE(colour.name(), hex);
        QCOMPARE(colour.alpha(), 255);
        QCOMPARE(colour.spec(), QColor::Rgb);
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
