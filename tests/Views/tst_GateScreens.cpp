#include "App/AppModel.h"
#include "App/LicenseAgreement.h"
#include "App/Theme.h"

#include "TestSupport/ViewHarness.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::ViewHarness;

namespace {

const QString unreadableAgreement
    = u"Не удалось загрузить пользовательское соглашение. Переустановите Ветрон."_s;

} // namespace

class GateScreensTest : public QObject
{
    Q_OBJECT

    ViewHarness m_harness;
    WakeNotifier m_wake;

    std::unique_ptr<AppModel> makeModel(const QUrl &servers = QUrl(u"https://portal.example"_s))
    {
        AppModel::Options options;
        options.wake = &m_wake;
        options.servers = { servers, servers };
        return std::make_unique<AppModel>(false, options);
    }

    static QQuickItem *item(QQuickWindow &window, const QString &name)
    {
        QQuickItem *found = ViewHarness::find(window, name);
        if (!found)
            qWarning() << "no item" << name;
        return found;
    }

    static QVariant storedVersion()
    {
        return QSettings().value(QLatin1StringView(LicenseAgreement::preferenceKey));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(u"VetronTest"_s);
        QCoreApplication::setApplicationName(u"tst_GateScreens"_s);
    }

    void init()
    {
        QTest::failOnWarning(QRegularExpression(u".*"_s));
        QSettings().remove(QLatin1StringView(LicenseAgreement::preferenceKey));
    }

    void acceptNeedsTheTick()
    {
        const auto window = m_harness.show(u"LicenseAgreementView"_s, {});
        QVERIFY(window);
        QQuickItem *accept = item(*window, u"licenseAcceptButton"_s);
        QQuickItem *toggle = item(*window, u"licenseConfirmToggle"_s);
        QVERIFY(accept && toggle);
        const QQuickItem *label = toggle->findChild<QQuickItem *>(u"quietToggleLabel"_s);

        QVERIFY(!accept->isEnabled());
        ViewHarness::click(*window, *accept);
        QVERIFY(!storedVersion().isValid());
        ViewHarness::click(*window, *label);
        QVERIFY(accept->isEnabled());
        ViewHarness::click(*window, *label);
        QVERIFY(!accept->isEnabled());
    }

    void choiceStoresOnlyAnAcceptance_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QVariant>("stored");
        QTest::addRow("accept") << u"licenseAcceptButton"_s << QVariant(u"1.0"_s);
        QTest::addRow("decline") << u"licenseDeclineButton"_s << QVariant();
    }

    void choiceStoresOnlyAnAcceptance()
    {
        QFETCH(QString, button);
        QFETCH(QVariant, stored);
        const auto window = m_harness.show(u"LicenseAgreementView"_s, {});
        QVERIFY(window);
        QObject *view = window->contentItem()->childItems().constFirst();
        QStringList heard;
        // What the gate finds in the store at the moment it hears the outcome.
        connect(view, SIGNAL(accepted()), this, SLOT(noteOutcome()));
        connect(view, SIGNAL(declined()), this, SLOT(noteOutcome()));
        m_outcomes.clear();
        ViewHarness::click(*window, *item(*window, u"licenseConfirmToggle"_s));
        ViewHarness::click(*window, *item(*window, button));
        QCOMPARE(m_outcomes, QStringList { stored.toString() });
        QCOMPARE(storedVersion(), stored);
    }

    void unreadableAgreementSaysSoAndCanBeAccepted()
    {
        LicenseAgreement::setTextOverride(LicenseAgreement::textAt(u":/Vetron/absent.txt"_s));
        const auto window = m_harness.show(u"LicenseAgreementView"_s, {});
        LicenseAgreement::setTextOverride(std::nullopt);
        QVERIFY(window);
        QCOMPARE(item(*window, u"licenseText"_s)->property("text").toString(), unreadableAgreement);
        ViewHarness::click(*window, *item(*window, u"licenseConfirmToggle"_s));
        ViewHarness::click(*window, *item(*window, u"licenseAcceptButton"_s));
        QCOMPARE(storedVersion(), QVariant(u"1.0"_s));
    }

    void picturesDrawTheThemeWhereTheLayoutPutsIt_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("button");
        QTest::addRow("agreement") << u"LicenseAgreementView"_s << u"licenseAcceptButton"_s;
    }

    void picturesDrawTheThemeWhereTheLayoutPutsIt()
    {
        QFETCH(QString, view);
        QFETCH(QString, button);
        auto model = makeModel();
        const auto window = m_harness.show(view, { { u"model"_s, QVariant::fromValue(model.get()) } });
        QVERIFY(window);
        if (QQuickItem *toggle = ViewHarness::find(*window, u"licenseConfirmToggle"_s)) {
            ViewHarness::click(*window, *toggle);
            const QQuickItem *box = item(*window, u"licenseTextBox"_s);
            QCOMPARE(ViewHarness::colourAt(*window, *box, QPointF(box->width() / 2, 6)), Theme::surface());
        }
        const QImage picture = ViewHarness::picture(*window);
        // To look at them: VETRON_TEST_PICTURES=<directory>.
        if (const QString directory = qEnvironmentVariable("VETRON_TEST_PICTURES"); !directory.isEmpty())
            picture.save(u"%1/%2.png"_s.arg(directory, view));
        QCOMPARE(picture.size(), QSize(1240, 1600));
        QCOMPARE(picture.pixelColor(0, 0), Theme::appBg());
        const QQuickItem *fill = item(*window, button);
        QCOMPARE(ViewHarness::colourAt(*window, *fill, QPointF(4, fill->height() / 2)), Theme::accent());
    }

public Q_SLOTS:
    void noteOutcome() { m_outcomes << storedVersion().toString(); }

private:
    QStringList m_outcomes;
};

QTEST_MAIN(GateScreensTest)
#include "tst_GateScreens.moc"
