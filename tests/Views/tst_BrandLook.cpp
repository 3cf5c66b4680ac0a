#include "Views/BrandAssets.h"
#include "Views/Glyphs.h"
#include "Views/ShieldLook.h"
#include "Views/Theme.h"

#include <QGuiApplication>
#include <QMetaProperty>
#include <QTemporaryDir>
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

// The brand's look as the C++ side gives it: the theme's colours, the logo, the symbols.
class BrandLookTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

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

    // Each state has a menu-bar icon of its own: on macOS a template image (black, marked as a
    // mask, for the system to tint to the menu bar), elsewhere drawn in the brand green.
    void menuBarIconsTellTheStatesApart()
    {
#ifdef Q_OS_MACOS
        const QColor ink = Qt::black;
#else
        const QColor ink = Theme::accent();
#endif
        QList<QImage> icons;
        for (const ProtectionState state : { ProtectionState::disabled, ProtectionState::connecting,
                 ProtectionState::protected_, ProtectionState::blocked }) {
            const QIcon menuBarIcon = ShieldLook::menuBarIcon(state);
#ifdef Q_OS_MACOS
            QVERIFY(menuBarIcon.isMask());
#else
            QVERIFY(!menuBarIcon.isMask());
#endif
            const QImage icon = menuBarIcon.pixmap(QSize(32, 32)).toImage();
            QVERIFY(drawnOnlyIn(icon, ink));
            QVERIFY(!icons.contains(icon));
            icons << icon;
        }
    }
};

QTEST_MAIN(BrandLookTest)
#include "tst_BrandLook.moc"
