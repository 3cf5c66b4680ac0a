#include "App/AppModel.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TunnelFixture.h"
#include "TestSupport/ViewHarness.h"
#include "Views/ProtectionLook.h"
#include "Views/Theme.h"

#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::ViewHarness;

// The main window's content loaded for real on a model driven through its preview setters: the
// protection screen per state, the header's sections, the footer, and one real switch-on.
class MainViewTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ViewHarness> m_harness;

    std::unique_ptr<QQuickWindow> show(AppModel &model)
    {
        return m_harness->show(u"MainView"_s, { { u"model"_s, QVariant::fromValue(&model) } });
    }

    // Colours blended by the renderer may be off by a unit or two.
    static bool near(const QColor &actual, const QColor &expected)
    {
        return std::abs(actual.red() - expected.red()) <= 2
            && std::abs(actual.green() - expected.green()) <= 2
            && std::abs(actual.blue() - expected.blue()) <= 2;
    }

    static QColor overWhite(const QColor &colour, qreal opacity)
    {
        const auto mix = [opacity](int channel) { return qRound(channel * opacity + 255 * (1 - opacity)); };
        return QColor(mix(colour.red()), mix(colour.green()), mix(colour.blue()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(qgetenv("QT_SCALE_FACTOR"), QByteArray("2"));
        m_harness = std::make_unique<ViewHarness>();
    }

    // A binding that fails or a type that is missing shows only as a warning: treat it as a fault.
    void init() { QTest::failOnWarning(QRegularExpression(u".*"_s)); }

    void protectionScreenFollowsTheState_data()
    {
        const QString longDetail
            = u"Данные напрямую не отправляются. Сервер защиты не ответил вовремя. "_s.repeated(5);
        QTest::addColumn<ProtectionState>("state");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QColor>("tint");
        QTest::addColumn<QColor>("buttonFill");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("detailShown");
        QTest::addRow("disabled") << ProtectionState::disabled << u"Защита выключена"_s << Theme::faint()
                                  << Theme::faint() << true << false;
        QTest::addRow("connecting, its detail not shown")
            << ProtectionState::connecting << u"Устанавливаем защищённое соединение…"_s << Theme::warnMeta()
            << Theme::switchOff() << false << false;
        QTest::addRow("protected") << ProtectionState::protected_
                                   << u"Личные данные заменяются перед отправкой"_s << Theme::accent()
                                   << Theme::accentSoft() << true << false;
        QTest::addRow("blocked, detail is the title")
            << ProtectionState::blocked << u"Отправка данных остановлена"_s << Theme::danger()
            << Theme::danger() << true << false;
        QTest::addRow("blocked, empty detail") << ProtectionState::blocked << QString(u""_s)
                                               << Theme::danger() << Theme::danger() << true << false;
        QTest::addRow("blocked with a long detail")
            << ProtectionState::blocked << longDetail << Theme::danger() << Theme::danger() << true << true;
    }

    void protectionScreenFollowsTheState()
    {
        QFETCH(ProtectionState, state);
        QFETCH(QString, detail);
        QFETCH(QColor, tint);
        QFETCH(QColor, buttonFill);
        QFETCH(bool, enabled);
        QFETCH(bool, detailShown);
        auto model = ViewHarness::makeModel();
        model->setState(state, detail);
        const auto window = show(*model);

        // The texts are the state's own, as the model hands the state over.
        const ProtectionLook::Presentation look = ProtectionLook::of(state);
        QCOMPARE(ViewHarness::item(*window, u"protectionTitle"_s)->property("text").toString(), look.title);
        QCOMPARE(
            ViewHarness::item(*window, u"protectionSubtitle"_s)->property("text").toString(), look.subtitle);
        QQuickItem &button = *ViewHarness::item(*window, u"protectionActionButton"_s);
        QCOMPARE(button.property("text").toString(), look.actionLabel);
        QCOMPARE(button.isEnabled(), enabled);
        QVERIFY(button.width() >= 240);
        QQuickItem &detailLine = *ViewHarness::item(*window, u"protectionDetail"_s);
        QCOMPARE(detailLine.isVisible(), detailShown);
        if (detailShown) {
            QCOMPARE(detailLine.property("lineCount").toInt(), 3);
            QVERIFY(detailLine.property("truncated").toBool());
        }

        ViewHarness::keepPicture(*window, u"main"_s);
        QCOMPARE(ViewHarness::colourAt(*window, *window->contentItem(), QPointF(0, window->height() - 1)),
            Theme::appBg());
        QQuickItem &card = *ViewHarness::item(*window, u"protectionCard"_s);
        QCOMPARE(ViewHarness::colourAt(*window, card, QPointF(24, 24)), Theme::surface());
        // Everything fits on the card, down to its last button.
        const QQuickItem &last = *ViewHarness::item(*window, u"protectionHowItWorksButton"_s);
        QVERIFY(last.mapToItem(&card, QPointF(0, last.height())).y() <= card.height());
        // The halo between the shield and its edge, the button beside its label.
        QQuickItem &halo = *ViewHarness::item(*window, u"protectionHalo"_s);
        QVERIFY2(near(ViewHarness::colourAt(*window, halo, QPointF(12, 100)), overWhite(tint, 0.12)),
            qPrintable(ViewHarness::colourAt(*window, halo, QPointF(12, 100)).name()));
        QCOMPARE(ViewHarness::colourAt(*window, button, QPointF(4, button.height() / 2)), buttonFill);

        // The rings are drawn and redrawn only in the live state, and only while the window shows.
        const bool live = state == ProtectionState::protected_;
        QQuickItem &rings = *ViewHarness::item(*window, u"protectionRings"_s);
        QCOMPARE(rings.isVisible(), live);
        QCOMPARE(rings.property("animating").toBool(), live);
        if (live) {
            QSignalSpy redrawn(&rings, SIGNAL(phaseChanged()));
            QVERIFY(redrawn.wait());
            const auto *clock = rings.findChild<QObject *>(u"protectionRingsClock"_s);
            QVERIFY(clock->property("interval").toInt() >= 1000 / 30.0);
        }
        window->hide();
        QVERIFY(!rings.property("animating").toBool());
    }

    void headerMarksTheSectionShown_data()
    {
        QTest::addColumn<MainSection>("section");
        QTest::addColumn<QString>("selected");
        QTest::addRow("protection") << MainSection::protection << QString();
        QTest::addRow("account") << MainSection::account << u"accountSectionButton"_s;
        QTest::addRow("sessions") << MainSection::sessions << QString();
        QTest::addRow("updates") << MainSection::updates << u"updatesSectionButton"_s;
        QTest::addRow("settings") << MainSection::settings << u"settingsSectionButton"_s;
    }

    void headerMarksTheSectionShown()
    {
        QFETCH(MainSection, section);
        QFETCH(QString, selected);
        auto model = ViewHarness::makeModel();
        model->setSection(section);
        const auto window = show(*model);
        for (const QString &name :
            { u"accountSectionButton"_s, u"updatesSectionButton"_s, u"settingsSectionButton"_s }) {
            QQuickItem &button = *ViewHarness::item(*window, name);
            const QColor fill = ViewHarness::colourAt(*window, button, QPointF(4, button.height() / 2));
            QVERIFY2(fill == (name == selected ? Theme::surface() : Theme::chip()), qPrintable(name));
        }
    }

    void buttonsNavigateAndStartTheirWork_data()
    {
        QTest::addColumn<MainSection>("from");
        QTest::addColumn<QString>("button");
        QTest::addColumn<MainSection>("to");
        QTest::addColumn<QString>("started");
        QTest::addRow("brand back from sessions")
            << MainSection::sessions << u"mainBrandButton"_s << MainSection::protection << QString();
        QTest::addRow("section's back arrow")
            << MainSection::account << u"sectionBackButton"_s << MainSection::protection << QString();
        QTest::addRow("account") << MainSection::protection << u"accountSectionButton"_s
                                 << MainSection::account << QString();
        QTest::addRow("updates again while on updates")
            << MainSection::updates << u"updatesSectionButton"_s << MainSection::updates << u"update check"_s;
        QTest::addRow("settings") << MainSection::protection << u"settingsSectionButton"_s
                                  << MainSection::settings << u"settings load"_s;
    }

    void buttonsNavigateAndStartTheirWork()
    {
        QFETCH(MainSection, from);
        QFETCH(QString, button);
        QFETCH(MainSection, to);
        QFETCH(QString, started);
        auto model = ViewHarness::makeModel();
        model->setSection(from);
        model->setUpdateState(UpdateScreenState::of(UpdateScreenState::Kind::current));
        const auto window = show(*model);
        QSignalSpy messageChanged(model.get(), &AppModel::messageChanged);
        // The check may already have failed when the click returns: note it as it starts.
        bool checked = false;
        connect(model.get(), &AppModel::updateStateChanged, this,
            [&] { checked |= model->updateState().kind == UpdateScreenState::Kind::checking; });

        ViewHarness::click(*window, *ViewHarness::item(*window, button));
        QCOMPARE(model->section(), to);
        // Without a tunnel the settings load fails at once, and says so.
        QString seen;
        if (checked)
            seen = u"update check"_s;
        else if (!messageChanged.isEmpty())
            seen = u"settings load"_s;
        QCOMPARE(seen, started);
        QTRY_VERIFY(model->updateState().kind != UpdateScreenState::Kind::checking);
    }

    // The explainer comes up as a sheet over the window; "Понятно" or Esc puts it away and resets
    // the wish, so the button opens it again.
    void explainerSheetOpensAndCloses_data()
    {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("Понятно") << false;
        QTest::newRow("Esc") << true;
    }

    void explainerSheetOpensAndCloses()
    {
        QFETCH(bool, byEscape);
        auto model = ViewHarness::makeModel();
        const auto window = show(*model);
        QQuickItem &view = *ViewHarness::item(*window, u"mainView"_s);
        for (int round = 0; round < 2; ++round) {
            ViewHarness::click(*window, *ViewHarness::item(*window, u"protectionHowItWorksButton"_s));
            QTRY_VERIFY(ViewHarness::find(*window, u"howItWorksCloseButton"_s));
            QQuickItem *close = ViewHarness::find(*window, u"howItWorksCloseButton"_s);
            QTRY_VERIFY(close->isVisible() && close->window() == window.get());
            const QRectF sheet = close->parentItem()->mapRectToScene(close->parentItem()->boundingRect());
            QVERIFY(sheet.width() <= 440);
            if (byEscape)
                QTest::keyClick(window.get(), Qt::Key_Escape);
            else
                ViewHarness::click(*window, *close);
            QTRY_VERIFY(!view.property("showHowItWorks").toBool());
            QTRY_VERIFY(!ViewHarness::find(*window, u"howItWorksCloseButton"_s));
        }
    }

    void footerKeepsTheVersionInView()
    {
        auto model = ViewHarness::makeModel();
        model->setMessage(u"Не удалось сохранить настройки: сервер защиты не ответил. "_s.repeated(6));
        const auto window = show(*model);
        const QQuickItem &message = *ViewHarness::item(*window, u"mainFooterMessage"_s);
        const QQuickItem &version = *ViewHarness::item(*window, u"mainFooterVersion"_s);
        QCOMPARE(message.property("lineCount").toInt(), 2);
        QVERIFY(message.property("truncated").toBool());
        QCOMPARE(version.property("text").toString(), u"Версия "_s + model->currentVersion());
        QVERIFY(!version.property("truncated").toBool());
        QVERIFY(version.width() >= version.implicitWidth());
        const QRectF shown = version.mapRectToScene(QRectF(0, 0, version.width(), version.height()));
        QVERIFY(shown.left() > message.mapToScene(QPointF(message.width(), 0)).x());
        QCOMPARE(shown.right(), window->width() - 26.0);
    }

    // The action button reaches the tunnel: here, with the stand-ins and no enrolment, switching
    // on ends blocked. The button is unavailable while the model is busy. Blocked, the screen
    // also offers the switch-off, which ends it.
    void actionButtonSwitchesProtection()
    {
        Test::TunnelFixture fixture;
        AppModel::Options options;
        fixture.prepare(options);
        auto model = ViewHarness::makeModel(options);
        const auto window = show(*model);
        QQuickItem &button = *ViewHarness::item(*window, u"protectionActionButton"_s);

        // The switch-on may end before the click returns: look at the button as busy changes.
        QStringList seen;
        connect(model.get(), &AppModel::busyChanged, this, [&] {
            seen << u"busy %1, button %2"_s.arg(model->busy()).arg(button.isEnabled() ? u"on"_s : u"off"_s);
        });
        ViewHarness::click(*window, button);
        QTRY_COMPARE(seen.size(), 2);
        QCOMPARE(seen, (QStringList { u"busy 1, button off"_s, u"busy 0, button on"_s }));
        QCOMPARE(model->state(), ProtectionState::blocked);
        QCOMPARE(ViewHarness::item(*window, u"protectionActionButton"_s)->property("text").toString(),
            u"Повторить подключение"_s);

        QQuickItem &switchOff = *ViewHarness::item(*window, u"protectionSwitchOffButton"_s);
        QVERIFY(switchOff.isVisible() && switchOff.isEnabled());
        ViewHarness::click(*window, switchOff);
        QTRY_COMPARE(model->state(), ProtectionState::disabled);
        QVERIFY(!switchOff.isVisible());
        QTRY_VERIFY(!model->busy());
    }
};

QTEST_MAIN(MainViewTest)
#include "tst_MainView.moc"
