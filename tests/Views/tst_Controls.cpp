#include "TestSupport/ViewHarness.h"
#include "Views/PreviewMode.h"
#include "Views/Theme.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::ViewHarness;

class ControlsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A binding that fails or a type that is missing shows only as a warning: treat it as a fault.
    void init() { QTest::failOnWarning(QRegularExpression(u".*"_s)); }

    void mintButtonStretchesOnlyWhenFullWidth_data()
    {
        QTest::addColumn<bool>("fullWidth");
        QTest::addRow("natural width") << false;
        QTest::addRow("full width") << true;
    }

    void mintButtonStretchesOnlyWhenFullWidth()
    {
        QFETCH(bool, fullWidth);
        const auto window = show(
            u"MintButton"_s, u"text: \"Продлить\"; fullWidth: %1"_s.arg(fullWidth ? u"true" : u"false"));
        const QQuickItem *button = window->findChild<QQuickItem *>(u"subject"_s);
        QCOMPARE(button->width() == 400, fullWidth);
        QVERIFY(button->implicitWidth() < 400);
    }

    // A ghost button has no fill at rest (the filled ones are seen on the protection screen).
    void dangerGhostButtonHasNoFill()
    {
        const auto window = show(u"DangerGhostButton"_s, u"text: \"Удалить\""_s);
        const QQuickItem *button = window->findChild<QQuickItem *>(u"subject"_s);
        QCOMPARE(ViewHarness::colourAt(*window, *button, QPointF(4, button->height() / 2)), Theme::appBg());
    }

    void quietToggleFlipsFromAnywhereOnTheRow_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addRow("label") << u"quietToggleLabel"_s;
        QTest::addRow("switch") << u"quietToggleSwitch"_s;
    }

    void quietToggleFlipsFromAnywhereOnTheRow()
    {
        QFETCH(QString, part);
        const auto window = show(u"QuietToggle"_s, u"text: \"Почта\""_s);
        QQuickItem *toggle = window->findChild<QQuickItem *>(u"subject"_s);
        const QQuickItem *target = window->findChild<QQuickItem *>(part);
        QVERIFY(target);
        QTest::mouseClick(window.get(), Qt::LeftButton, {},
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint());
        QVERIFY(toggle->property("checked").toBool());

        // On: the track is accent to the left of the knob, which sits at the trailing end.
        const QQuickItem *track = window->findChild<QQuickItem *>(u"quietToggleSwitch"_s);
        QTRY_COMPARE(
            ViewHarness::colourAt(*window, *track, QPointF(3, track->height() / 2)), Theme::accent());
    }

    void sectionScrollFlattensForPreviews_data()
    {
        QTest::addColumn<bool>("flatten");
        QTest::addColumn<int>("contentHeight");
        QTest::addColumn<qreal>("lane");
        QTest::addRow("scrolls") << false << 2000 << 14.0;
        QTest::addRow("fits") << false << 100 << 0.0;
        QTest::addRow("flattened") << true << 2000 << 0.0;
    }

    void sectionScrollFlattensForPreviews()
    {
        QFETCH(bool, flatten);
        QFETCH(int, contentHeight);
        QFETCH(qreal, lane);
        PreviewMode::setFlattenScrolls(flatten);
        const auto window = show(u"SectionScroll"_s,
            u"Layout.fillWidth: true; Layout.fillHeight: true; Rectangle { objectName: \"tall\"; implicitHeight: %1 }"_s
                .arg(contentHeight));
        PreviewMode::setFlattenScrolls(false);
        const QQuickItem *scroll = window->findChild<QQuickItem *>(u"subject"_s);
        const QQuickItem *scrollView = window->findChild<QQuickItem *>(u"sectionScrollView"_s);
        const QQuickItem *content = window->findChild<QQuickItem *>(u"tall"_s);
        QCOMPARE(scrollView == nullptr, flatten);
        QCOMPARE(content->parentItem() == scroll, flatten);
        QCOMPARE(scroll->implicitHeight() == contentHeight, flatten);
        // A shown bar keeps a lane of its own beside the content; content that fits has none.
        QCOMPARE(content->width(), scroll->width() - lane);
    }

    void brandShieldDimmedOnlyWhenOff_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("fullColour");
        QTest::addRow("disabled") << 0 << false;
        QTest::addRow("connecting") << 1 << true;
        QTest::addRow("protected") << 2 << true;
        QTest::addRow("blocked") << 3 << true;
    }

    void brandShieldDimmedOnlyWhenOff()
    {
        QFETCH(int, state);
        QFETCH(bool, fullColour);
        const auto window = show(u"BrandShieldView"_s,
            u"Layout.preferredWidth: 120; Layout.preferredHeight: 120; protectionState: %1"_s.arg(state));
        const QImage picture = window->grabWindow();
        QCOMPARE(picture.size(), QSize(800, 600)); // drawn at 2×
        QCOMPARE(picture.pixelColor(picture.width() - 1, picture.height() - 1), Theme::appBg());
        // The logo's outer shield is the brand green exactly, unless dimmed.
        QCOMPARE(ViewHarness::containsColour(picture, Theme::accent()), fullColour);
    }

private:
    // Shows `type { properties }`, named "subject", in a 400 × 300 window on the app background.
    std::unique_ptr<QQuickWindow> show(const QString &type, const QString &properties = {})
    {
        return m_harness.showSource(
            u"import QtQuick\nimport QtQuick.Layouts\nimport Vetron\n"
            u"ColumnLayout { %1 { objectName: \"subject\"; %2 } }"_s.arg(type, properties),
            QSize(400, 300));
    }

    Test::ViewHarness m_harness;
};

QTEST_MAIN(ControlsTest)
#include "tst_Controls.moc"
