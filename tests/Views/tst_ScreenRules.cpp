#include "Views/AccountLook.h"
#include "Views/SessionLook.h"
#include "Views/SettingsLook.h"

#include <QTest>

#include <cstdlib>
#include <ctime>

using namespace Qt::StringLiterals;
using namespace Vetron;

// The rules behind the settings, session and account screens: paging, the category switches,
// labels, dates.
class ScreenRulesTest : public QObject
{
    Q_OBJECT

    static ProtectedSession session(const QString &title, double createdAt = 0, bool bypass = false)
    {
        ProtectedSession session;
        session.id = u"s"_s;
        session.title = title;
        session.createdAt = createdAt;
        session.lastUsedAt = createdAt;
        session.requests = 5;
        session.replacements = 2;
        session.bypass = bypass;
        return session;
    }

    static SubscriptionInfo subscriptionEnding(const QString &status, const QDateTime &end)
    {
        return { status, end };
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Moscow time all year, whatever zone the machine is in.
        qputenv("TZ", "MSK-3");
        tzset();
    }

    void pagesOfTen_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("end");
        QTest::addColumn<QString>("pager");
        QTest::addRow("ten fit one page") << 10 << 0 << 0 << 10 << u"Страница 1 из 1 · сессий: 10"_s;
        QTest::addRow("eleventh on a second page")
            << 11 << 1 << 10 << 11 << u"Страница 2 из 2 · сессий: 11"_s;
        QTest::addRow("page past a shrunk list") << 5 << 3 << 0 << 5 << u"Страница 1 из 1 · сессий: 5"_s;
        QTest::addRow("no sessions") << 0 << 0 << 0 << 0 << u"Страница 1 из 1 · сессий: 0"_s;
        QTest::addRow("negative page") << 23 << -1 << 0 << 10 << u"Страница 1 из 3 · сессий: 23"_s;
    }

    void pagesOfTen()
    {
        QFETCH(int, count);
        QFETCH(int, page);
        QFETCH(int, first);
        QFETCH(int, end);
        QFETCH(QString, pager);
        const auto rows = SessionPaging::rows(page, count);
        QCOMPARE(rows.first, first);
        QCOMPARE(rows.second, end);
        QCOMPARE(SessionPaging::pagerText(page, count), pager);
        QCOMPARE(SessionPaging::pageCount(count) >= 2, count > 10);
    }

    void deletionClampsTheStoredPage()
    {
        QCOMPARE(SessionPaging::clampedPage(3, 5), 0);
        QCOMPARE(SessionPaging::clampedPage(2, 20), 1);
        QCOMPARE(SessionPaging::clampedPage(1, 11), 1);
    }

    void categorySwitchRemovesOrAddsTheKeyOnce_data()
    {
        QTest::addColumn<QStringList>("disabled");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QStringList>("expected");
        // A key this client does not know stays where the server put it.
        QTest::addRow("on again") << QStringList { u"faces"_s, u"names"_s, u"cards"_s } << u"names"_s << true
                                  << QStringList { u"faces"_s, u"cards"_s };
        QTest::addRow("off at the end") << QStringList { u"secrets"_s, u"faces"_s } << u"network"_s << false
                                        << QStringList { u"secrets"_s, u"faces"_s, u"network"_s };
        QTest::addRow("off twice") << QStringList { u"cards"_s } << u"cards"_s << false
                                   << QStringList { u"cards"_s };
    }

    void categorySwitchRemovesOrAddsTheKeyOnce()
    {
        QFETCH(QStringList, disabled);
        QFETCH(QString, key);
        QFETCH(bool, enabled);
        QFETCH(QStringList, expected);
        QCOMPARE(SettingsLook::disabledCategoriesAfter(disabled, key, enabled), expected);
    }

    void retentionLabels_data()
    {
        QTest::addColumn<qint64>("days");
        QTest::addColumn<QString>("label");
        QTest::addRow("never") << qint64(0) << u"Не удалять автоматически"_s;
        QTest::addRow("not a choice") << qint64(14) << u"14 дней"_s;
    }

    void retentionLabels()
    {
        QFETCH(qint64, days);
        QFETCH(QString, label);
        QCOMPARE(SettingsLook::retentionLabel(days), label);
    }

    void sessionTexts_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        // 2026-03-05 11:07:30 UTC, 14:07 in Moscow.
        const double created = 1'772'708'850.25;
        QTest::addRow("untitled") << SessionLook::sessionTitle(session({}, created))
                                  << u"Сессия 05.03.2026, 14:07"_s;
        QTest::addRow("facts") << SessionLook::sessionFacts(session({}, created))
                               << u"Создана: 05.03.2026, 14:07\nПоследнее использование: 05.03.2026, "
                                  "14:07\nЗапросов: 5 · замен: 2"_s;
        SubscriptionInfo subscription { u"active"_s,
            QDateTime(QDate(2026, 3, 1), QTime(22, 30), QTimeZone::utc()) };
        QTest::addRow("paid until, local day")
            << SettingsLook::subscriptionLine(true, subscription) << u"Подписка активна до 02.03.26"_s;
        QTest::addRow("no subscription")
            << SettingsLook::subscriptionLine(true, std::nullopt) << u"Нет активной подписки"_s;
        QTest::addRow("loading") << SettingsLook::subscriptionLine(false, subscription)
                                 << u"Загружаем статистику…"_s;
    }

    void sessionTexts()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    void renameNeedsANameAndNoOperation_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("enabled");
        QTest::addRow("name") << u"Иск"_s << false << true;
        QTest::addRow("blanks and line breaks") << u"  \n\t "_s << false << false;
        QTest::addRow("busy") << u"Иск"_s << true << false;
    }

    void renameNeedsANameAndNoOperation()
    {
        QFETCH(QString, title);
        QFETCH(bool, busy);
        QFETCH(bool, enabled);
        QCOMPARE(SessionLook::canRename(title, busy), enabled);
    }

    void subscriptionText_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("expected");
        QTest::addRow("active") << u"active"_s << "UTC"_ba << u"Активна · до 31.03.25"_s;
        QTest::addRow("unknown status unchanged") << u"paused"_s << "UTC"_ba << u"paused · до 31.03.25"_s;
        // 22:30 UTC is already the next day in Moscow: the date is the local one.
        QTest::addRow("local date") << u"active"_s << "Europe/Moscow"_ba << u"Активна · до 01.04.25"_s;
        QTest::addRow("local date west")
            << u"active"_s << "America/New_York"_ba << u"Активна · до 31.03.25"_s;
    }

    void subscriptionText()
    {
        QFETCH(QString, status);
        QFETCH(QByteArray, zone);
        QFETCH(QString, expected);
        const QDateTime end(QDate(2025, 3, 31), QTime(22, 30), QTimeZone::utc());
        QCOMPARE(AccountLook::subscriptionText(subscriptionEnding(status, end), QTimeZone(zone)), expected);
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
        const auto days
            = AccountLook::daysLeft(subscriptionEnding(u"active"_s, now.addSecs(secondsToEnd)), now);
        QCOMPARE(days.value_or(0), expected);
    }
};

QTEST_GUILESS_MAIN(ScreenRulesTest)
#include "tst_ScreenRules.moc"
