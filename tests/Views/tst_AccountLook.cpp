#include "Views/AccountLook.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;

class AccountLookTest : public QObject
{
    Q_OBJECT

    static SubscriptionInfo subscription(const QString &status, const QDateTime &end) { return { status, end }; }

private Q_SLOTS:
    void subscriptionText_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("expected");
        QTest::addRow("active") << u"active"_s << "UTC"_ba << u"Активна · до 31.03.25"_s;
        QTest::addRow("trialing") << u"trialing"_s << "UTC"_ba << u"Активна · до 31.03.25"_s;
        QTest::addRow("suspended") << u"suspended"_s << "UTC"_ba << u"Приостановлена · до 31.03.25"_s;
        QTest::addRow("unknown status unchanged") << u"paused"_s << "UTC"_ba << u"paused · до 31.03.25"_s;
        // 22:30 UTC is already the next day in Moscow: the date is the local one.
        QTest::addRow("local date") << u"active"_s << "Europe/Moscow"_ba << u"Активна · до 01.04.25"_s;
        QTest::addRow("local date west") << u"active"_s << "America/New_York"_ba << u"Активна · до 31.03.25"_s;
    }

    void subscriptionText()
    {
        QFETCH(QString, status);
        QFETCH(QByteArray, zone);
        QFETCH(QString, expected);
        const QDateTime end(QDate(2025, 3, 31), QTime(22, 30), QTimeZone::utc());
        QCOMPARE(AccountLook::subscriptionText(subscription(status, end), QTimeZone(zone)), expected);
    }

    void daysLeftCountsStartedDays_data()
    {
        QTest::addColumn<qint64>("secondsToEnd");
        QTest::addColumn<qint64>("expected"); // 0: none
        QTest::addRow("2 hours") << qint64(2 * 3600) << qint64(1);
        QTest::addRow("exactly a day") << qint64(86'400) << qint64(1);
        QTest::addRow("a day and a second") << qint64(86'401) << qint64(2);
        QTest::addRow("ends now") << qint64(0) << qint64(0);
        QTest::addRow("ended an hour ago") << qint64(-3600) << qint64(0);
    }

    void daysLeftCountsStartedDays()
    {
        QFETCH(qint64, secondsToEnd);
        QFETCH(qint64, expected);
        const QDateTime now(QDate(2025, 3, 1), QTime(12, 0), QTimeZone::utc());
        const auto days = AccountLook::daysLeft(subscription(u"active"_s, now.addSecs(secondsToEnd)), now);
        QCOMPARE(days.value_or(0), expected);
    }
};

QTEST_APPLESS_MAIN(AccountLookTest)
#include "tst_AccountLook.moc"
