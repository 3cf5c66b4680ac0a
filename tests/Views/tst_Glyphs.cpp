#include "App/Theme.h"
#include "Views/Glyphs.h"
#include "Views/ShieldLook.h"

#include <QGuiApplication>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;

namespace {

// Whether the picture draws something and every fully opaque pixel is in `tint`.
bool drawnOnlyIn(const QImage &picture, const QColor &tint)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) < 255)
                continue;
            if ((pixel & 0xFFFFFF) != (tint.rgb() & 0xFFFFFF))
                return false;
            ++opaque;
        }
    }
    return opaque > 0;
}

} // namespace

class GlyphsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everySymbolDrawsInItsTint_data()
    {
        QTest::addColumn<QString>("name");
        const char *names[] { "shield", "shield.fill", "shield.lefthalf.filled", "checkmark.shield.fill",
            "exclamationmark.shield.fill", "arrow.left", "person", "arrow.down.circle",
            "arrow.down.circle.fill", "slider.horizontal.3", "chevron.down", "chevron.up", "checkmark",
            "checkmark.circle.fill", "exclamationmark.triangle.fill" };
        for (const char *name : names)
            QTest::addRow("%s", name) << QString::fromLatin1(name);
    }

    void everySymbolDrawsInItsTint()
    {
        QFETCH(QString, name);
        const QImage image = Glyphs::render(name, QSize(48, 40), Theme::danger());
        QCOMPARE(image.size(), QSize(48, 40));
        QVERIFY(drawnOnlyIn(image, Theme::danger()));
    }

    void unknownSymbolDrawsNothing()
    {
        QVERIFY(Glyphs::render(u"shield.slash"_s, QSize(24, 24), Theme::accent()).isNull());
    }

    // The menu-bar icon of each state is its symbol, in the brand green on this platform (the
    // labels and the brand shield's dimming show on the protection screen and are tested there).
    void menuBarIconPerState_data()
    {
        QTest::addColumn<ProtectionState>("state");
        QTest::addColumn<QString>("symbol");
        QTest::addRow("disabled") << ProtectionState::disabled << u"shield"_s;
        QTest::addRow("connecting") << ProtectionState::connecting << u"shield.lefthalf.filled"_s;
        QTest::addRow("protected") << ProtectionState::protected_ << u"checkmark.shield.fill"_s;
        QTest::addRow("blocked") << ProtectionState::blocked << u"exclamationmark.shield.fill"_s;
    }

    void menuBarIconPerState()
    {
        QFETCH(ProtectionState, state);
        QFETCH(QString, symbol);
        const QImage icon = menuBarIcon(state).pixmap(QSize(32, 32)).toImage();
        QCOMPARE(icon.convertToFormat(QImage::Format_ARGB32),
            Glyphs::render(symbol, QSize(32, 32), Theme::accent()).convertToFormat(QImage::Format_ARGB32));
    }
};

QTEST_MAIN(GlyphsTest)
#include "tst_Glyphs.moc"
