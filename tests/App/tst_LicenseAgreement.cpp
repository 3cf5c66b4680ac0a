#include "App/LicenseAcceptance.h"
#include "App/LicenseAgreement.h"

#include "TestSupport/TestProfile.h"

#include <QCoreApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;

class LicenseAgreementTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(u"VetronTest"_s);
        QCoreApplication::setApplicationName(u"tst_LicenseAgreement"_s);
        // The store is the test profile's, never the user's own.
        QVERIFY(QSettings().fileName().startsWith(Test::temporaryHome() + u'/'));
    }

    void onlyTheCurrentVersionCountsAsAccepted_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("accepted");
        QTest::addRow("nothing stored") << QVariant() << false;
        QTest::addRow("with a blank") << QVariant(u"1.0 "_s) << false;
        QTest::addRow("current version") << QVariant(u"1.0"_s) << true;
    }

    void onlyTheCurrentVersionCountsAsAccepted()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, accepted);
        QSettings settings;
        if (stored.isValid())
            settings.setValue(u"acceptedLicenseAgreementVersion"_s, stored);
        else
            settings.remove(u"acceptedLicenseAgreementVersion"_s);
        settings.sync();
        QCOMPARE(LicenseAgreement::isAccepted(), accepted);
    }

    // The gate and the agreement screen each hold an instance: accepting through one must
    // redraw the other at once, and only once.
    void acceptanceReachesEveryInstanceOnce()
    {
        QSettings().setValue(u"acceptedLicenseAgreementVersion"_s, u"0.9"_s);
        LicenseAcceptance gate;
        auto screen = std::make_unique<LicenseAcceptance>();
        QSignalSpy gateChanged(&gate, &LicenseAcceptance::acceptedChanged);
        QVERIFY(!gate.accepted());

        screen->accept();
        QCOMPARE(gateChanged.size(), 1);
        QVERIFY(gate.accepted() && screen->accepted());
        screen.reset();
        LicenseAgreement::accept();
        QCOMPARE(gateChanged.size(), 1);
    }

    void shippedTextUnlessOverriddenOrMissing()
    {
        QVERIFY(LicenseAgreement::text().contains(u"Версия 1.0"_s));
        LicenseAgreement::setTextOverride(u""_s);
        QCOMPARE(LicenseAgreement::text(), QString());
        LicenseAgreement::setTextOverride(std::nullopt);
        QVERIFY(LicenseAgreement::text().startsWith(u"ПОЛЬЗОВАТЕЛЬСКОЕ СОГЛАШЕНИЕ"_s));
    }
};

QTEST_GUILESS_MAIN(LicenseAgreementTest)
#include "tst_LicenseAgreement.moc"
