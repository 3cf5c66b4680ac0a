#include "Foundation/Models.h"
#include "Foundation/ProtectionState.h"

#include <QSet>
#include <QTimeZone>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;

namespace {

const QByteArray validConfig = R"({"ssh_host":"tun.example","ssh_user":"u1","ssh_port":22,
    "local_port":18080,"remote_port":3128,"unlock_host":"unlock.example"})";

const QByteArray sessionJson = R"({"id":"s1","kind":"chat","title":"Договор","created_at":1700000000.25,
    "last_used_at":1700000100,"requests":3,"replacements":7,"bypass":false})";

// The description of the DecodingError that decoding `json` as T throws, or "" if it decodes.
template<class T>
QString decodingFailure(const QByteArray &json)
{
    try {
        decodeJson<T>(json);
    } catch (const DecodingError &error) {
        return error.description();
    }
    return {};
}

QByteArray summaryWithPeriodEnd(const QByteArray &periodEnd)
{
    return R"({"device":{"name":"Mac","status":"active"},"usage":{"requests":1,"masked_entities":2,"blocked":0},
        "subscription":{"status":"active","period_end":")"
        + periodEnd + R"("}})";
}

} // namespace

class ModelsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void clientConfigRejectsMissingOrMistypedMembers_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("member");
        QTest::addRow("no unlock_host") << QByteArray(R"({"ssh_host":"h","ssh_user":"u","ssh_port":22,
            "local_port":1,"remote_port":2})") << u"unlock_host"_s;
        QTest::addRow("port as string") << QByteArray(R"({"ssh_host":"h","ssh_user":"u","ssh_port":"22",
            "local_port":1,"remote_port":2,"unlock_host":"x"})") << u"ssh_port"_s;
        QTest::addRow("port with fraction") << QByteArray(R"({"ssh_host":"h","ssh_user":"u","ssh_port":22.5,
            "local_port":1,"remote_port":2,"unlock_host":"x"})") << u"ssh_port"_s;
        QTest::addRow("port beyond 64 bits") << QByteArray(R"({"ssh_host":"h","ssh_user":"u","ssh_port":1e30,
            "local_port":1,"remote_port":2,"unlock_host":"x"})") << u"ssh_port"_s;
        QTest::addRow("required member null") << QByteArray(R"({"ssh_host":null,"ssh_user":"u","ssh_port":22,
            "local_port":1,"remote_port":2,"unlock_host":"x"})") << u"ssh_host"_s;
    }

    void clientConfigRejectsMissingOrMistypedMembers()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, member);
        const QString description = decodingFailure<ClientConfig>(json);
        QVERIFY2(description.contains(u"«"_s + member + u"»"_s), qPrintable(description));
    }

    void clientConfigSurvivesARoundTrip()
    {
        const ClientConfig config = decodeJson<ClientConfig>(validConfig);
        const QByteArray encoded = encodeJson(config);
        QVERIFY(!encoded.contains('\n') && !encoded.contains(": "));
        const ClientConfig again = decodeJson<ClientConfig>(encoded);
        QCOMPARE(again.sshHost, u"tun.example"_s);
        QCOMPARE(again.sshUser, u"u1"_s);
        QCOMPARE(again.sshPort, 22);
        QCOMPARE(again.localPort, 18080);
        QCOMPARE(again.remotePort, 3128);
        QCOMPARE(again.unlockHost, u"unlock.example"_s);
    }

    void integersKeepAllSixtyFourBits()
    {
        const ClientConfig config = decodeJson<ClientConfig>(R"({"ssh_host":"h","ssh_user":"u",
            "ssh_port":9007199254740993,"local_port":-5,"remote_port":1.0,"unlock_host":"x"})");
        QCOMPARE(config.sshPort, Q_INT64_C(9007199254740993));
        QCOMPARE(config.localPort, -5);
        QCOMPARE(config.remotePort, 1);
        QVERIFY(encodeJson(config).contains("9007199254740993"));
    }

    void enrollmentTokenIsOptional_data()
    {
        QTest::addColumn<QByteArray>("tokenMember");
        QTest::addColumn<bool>("hasToken");
        QTest::addRow("absent") << QByteArray() << false;
        QTest::addRow("null") << QByteArray(R"(,"device_token":null)") << false;
        QTest::addRow("present") << QByteArray(R"(,"device_token":"tok")") << true;
    }

    void enrollmentTokenIsOptional()
    {
        QFETCH(QByteArray, tokenMember);
        QFETCH(bool, hasToken);
        QByteArray json = validConfig;
        json.chop(1);
        json += R"(,"ca_pem":"-----BEGIN CERTIFICATE-----")" + tokenMember + "}";
        const EnrollmentResult result = decodeJson<EnrollmentResult>(json);
        QCOMPARE(result.deviceToken.has_value(), hasToken);
        QCOMPARE(result.sshHost, u"tun.example"_s);
        QCOMPARE(encodeJson(result).contains("device_token"), hasToken);
        QVERIFY(!encodeJson(result).contains("null"));
    }

    void enrollmentWithTokenOfWrongTypeFails()
    {
        QByteArray json = validConfig;
        json.chop(1);
        json += R"(,"ca_pem":"pem","device_token":42})";
        QVERIFY(decodingFailure<EnrollmentResult>(json).contains(u"«device_token»"_s));
    }

    void summarySubscriptionIsOptional()
    {
        const QByteArray base = R"({"device":{"name":"Mac","status":"active"},
            "usage":{"requests":1,"masked_entities":2,"blocked":0})";
        QVERIFY(!decodeJson<DeviceSummary>(base + "}").subscription);
        QVERIFY(!decodeJson<DeviceSummary>(base + R"(,"subscription":null})").subscription);
        const DeviceSummary summary = decodeJson<DeviceSummary>(base + "}");
        QVERIFY(!summary.device.platform);
        QCOMPARE(summary.usage.maskedEntities, 2);
        QVERIFY(!encodeJson(summary).contains("subscription"));
    }

    void summaryDatesAreStrictInternetDateTimes_data()
    {
        QTest::addColumn<QByteArray>("periodEnd");
        QTest::addColumn<QDateTime>("expected");
        const QDateTime march(QDate(2026, 3, 1), QTime(0, 0), QTimeZone::utc());
        QTest::addRow("zulu") << QByteArray("2026-03-01T00:00:00Z") << march;
        QTest::addRow("offset") << QByteArray("2026-03-01T03:00:00+03:00") << march;
        QTest::addRow("negative offset") << QByteArray("2026-02-28T21:30:00-02:30") << march;
        QTest::addRow("fractional seconds") << QByteArray("2026-03-01T00:00:00.000Z") << QDateTime();
        QTest::addRow("bare date") << QByteArray("2026-03-01") << QDateTime();
        QTest::addRow("no zone") << QByteArray("2026-03-01T00:00:00") << QDateTime();
        QTest::addRow("impossible day") << QByteArray("2026-02-30T00:00:00Z") << QDateTime();
        QTest::addRow("impossible hour") << QByteArray("2026-03-01T24:00:00Z") << QDateTime();
        QTest::addRow("lower-case t") << QByteArray("2026-03-01t00:00:00Z") << QDateTime();
    }

    void summaryDatesAreStrictInternetDateTimes()
    {
        QFETCH(QByteArray, periodEnd);
        QFETCH(QDateTime, expected);
        const QByteArray json = summaryWithPeriodEnd(periodEnd);
        if (!expected.isValid()) {
            // A bad date fails the whole summary, naming the member by its path.
            QVERIFY(decodingFailure<DeviceSummary>(json).contains(u"«subscription.period_end»"_s));
            return;
        }
        const DeviceSummary summary = decodeJson<DeviceSummary>(json);
        QCOMPARE(summary.subscription->periodEnd, expected);
        const DeviceSummary again = decodeJson<DeviceSummary>(encodeJson(summary));
        QCOMPARE(again.subscription->periodEnd, expected);
    }

    void sessionTimesAcceptWholeNumbersAndBypassOnlyBooleans()
    {
        const ProtectedSession session = decodeJson<ProtectedSession>(sessionJson);
        QCOMPARE(session.createdAt, 1700000000.25);
        QCOMPARE(session.lastUsedAt, 1700000100.0);
        QCOMPARE(session.bypass, false);

        QByteArray numericBypass = sessionJson;
        numericBypass.replace("\"bypass\":false", "\"bypass\":1");
        QVERIFY(decodingFailure<ProtectedSession>(numericBypass).contains(u"«bypass»"_s));
        QByteArray textBypass = sessionJson;
        textBypass.replace("\"bypass\":false", "\"bypass\":\"false\"");
        QVERIFY(!decodingFailure<ProtectedSession>(textBypass).isEmpty());
    }

    void sessionListNeedsItsArray()
    {
        QVERIFY(decodeJson<ProtectedSessionsResponse>(R"({"sessions":[]})").sessions.isEmpty());
        QVERIFY(decodingFailure<ProtectedSessionsResponse>("{}").contains(u"«sessions»"_s));

        // Unknown members are ignored, at the top and inside each element.
        QByteArray withExtra = sessionJson;
        withExtra.chop(1);
        withExtra += R"(,"colour":"red","nested":{"a":[1,2]}})";
        const auto list = decodeJson<ProtectedSessionsResponse>(R"({"version":2,"sessions":[)" + withExtra + "]}");
        QCOMPARE(list.sessions.size(), 1);
        QCOMPARE(list.sessions.first().title, u"Договор"_s);

        // A fault inside an element names the element.
        QByteArray broken = sessionJson;
        broken.replace("\"requests\":3", "\"requests\":\"3\"");
        const QString failure
            = decodingFailure<ProtectedSessionsResponse>(R"({"sessions":[)" + sessionJson + "," + broken + "]}");
        QVERIFY2(failure.contains(u"«sessions[1].requests»"_s), qPrintable(failure));
    }

    void sessionDetailCarriesItsMapping()
    {
        QByteArray json = sessionJson;
        json.chop(1);
        json += R"(,"mapping":[{"placeholder":"[ИМЯ_1]","original":"Иван"}]})";
        const ProtectedSessionDetail detail = decodeJson<ProtectedSessionDetail>(json);
        QCOMPARE(detail.id, u"s1"_s);
        QCOMPARE(detail.mapping.size(), 1);
        QCOMPARE(detail.mapping.first(), (ProtectedMapping { u"[ИМЯ_1]"_s, u"Иван"_s }));
        QCOMPARE(decodeJson<ProtectedSessionDetail>(encodeJson(detail)).mapping, detail.mapping);
        QVERIFY(decodingFailure<ProtectedSessionDetail>(sessionJson).contains(u"«mapping»"_s));
    }

    void sessionsAreEqualOnlyWhenEveryFieldIs()
    {
        const ProtectedSession session = decodeJson<ProtectedSession>(sessionJson);
        ProtectedSession renamed = session;
        renamed.title = u"Другое"_s;
        QCOMPARE(renamed.id, session.id);
        QVERIFY(renamed != session);
        QSet<ProtectedSession> set { session, session, renamed };
        QCOMPARE(set.size(), 2);

        // A detail's equality takes its placeholder table too.
        const ProtectedSessionDetail detail { session, { ProtectedMapping { u"[ИМЯ_1]"_s, u"Иван"_s } } };
        ProtectedSessionDetail otherTable = detail;
        otherTable.mapping.first().original = u"Пётр"_s;
        QVERIFY(detail == ProtectedSessionDetail(detail));
        QVERIFY(detail != otherTable);
    }

    void settingsIgnoreTheRestOfTheStatusAnswer()
    {
        const ProtectionSettings settings = decodeJson<ProtectionSettings>(
            R"({"map_unlocked":true,"retention_days":7,"cross_session":true,"disabled_categories":["email"]})");
        QCOMPARE(settings.retentionDays, 7);
        QCOMPARE(settings.crossSession, true);
        QCOMPARE(settings.disabledCategories, QStringList { u"email"_s });
        QVERIFY(!decodingFailure<ProtectionSettings>(
                     R"({"retention_days":7,"cross_session":true,"disabled_categories":["email",3]})")
                     .isEmpty());
    }

    void textThatIsNoObjectFailsReadably()
    {
        QVERIFY(decodingFailure<ClientConfig>("not json").startsWith(u"Не удалось прочитать данные"_s));
        QVERIFY(!decodingFailure<ClientConfig>("[1,2]").isEmpty());
        QVERIFY(!decodingFailure<ClientConfig>("").isEmpty());
    }

    void protectionStateHasFourTexts()
    {
        for (const auto state : { ProtectionState::disabled, ProtectionState::connecting,
                                  ProtectionState::protected_, ProtectionState::blocked })
            QCOMPARE(protectionStateFromText(toText(state)), state);
        QCOMPARE(toText(ProtectionState::protected_), u"protected"_s);
        QVERIFY(!protectionStateFromText(u"Protected"));
        QVERIFY(!protectionStateFromText(u""));
    }
};

QTEST_GUILESS_MAIN(ModelsTest)
#include "tst_Models.moc"
