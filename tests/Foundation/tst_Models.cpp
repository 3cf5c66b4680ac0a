#include "Foundation/Models.h"
#include "Foundation/ProtectionState.h"

#include <QJsonDocument>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using namespace Vetron;

namespace {

const QByteArray validConfig = R"({"ssh_host":"tun.example","ssh_user":"u1","ssh_port":22,
    "local_port":18080,"remote_port":3128,"unlock_host":"unlock.example"})";

const QByteArray sessionJson = R"({"id":"s1","kind":"chat","title":"Договор","created_at":1700000000.25,
    "last_used_at":1700000100,"requests":3,"replacements":7,"bypass":false})";

// The description of the DecodingError that decoding `json` as T throws, or "" if it decodes.
template<class T> QString decodingFailure(const QByteArray &json)
{
    try {
        decodeJson<T>(json);
    } catch (const DecodingError &error) {
        return error.description();
    }
    return {};
}

using Decoder = QString (*)(const QByteArray &);

// `object` with one more member (or several, comma-separated) at its end.
QByteArray withMember(QByteArray object, const QByteArray &member)
{
    object.chop(1);
    return object + ',' + member + '}';
}

QByteArray summaryWithPeriodEnd(const QByteArray &periodEnd)
{
    return R"({"device":{"name":"Mac","status":"active"},"usage":{"requests":1,"masked_entities":2,"blocked":0},
        "subscription":{"status":"active","period_end":")"
        + periodEnd + R"("}})";
}

} // namespace

Q_DECLARE_METATYPE(Decoder)

class ModelsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodingFailureNamesTheMember_data()
    {
        QTest::addColumn<Decoder>("decode");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("named"); // what the description must hold
        const Decoder config = &decodingFailure<ClientConfig>;
        const auto replaced
            = [](QByteArray json, const char *from, const char *to) { return json.replace(from, to); };
        QTest::addRow("no unlock_host")
            << config << replaced(validConfig, R"(,"unlock_host":"unlock.example")", "")
            << u"«unlock_host»"_s;
        QTest::addRow("port as string")
            << config << replaced(validConfig, ":22,", R"(:"22",)") << u"«ssh_port»"_s;
        QTest::addRow("port with fraction")
            << config << replaced(validConfig, ":22,", ":22.5,") << u"«ssh_port»"_s;
        QTest::addRow("port beyond 64 bits")
            << config << replaced(validConfig, ":22,", ":1e30,") << u"«ssh_port»"_s;
        QTest::addRow("required member null")
            << config << replaced(validConfig, R"("tun.example")", "null") << u"«ssh_host»"_s;
        QTest::addRow("not JSON") << config << QByteArray("not json") << u"Не удалось прочитать данные"_s;
        QTest::addRow("array") << config << QByteArray("[1,2]") << u"Не удалось прочитать данные"_s;
        QTest::addRow("token a number")
            << Decoder(&decodingFailure<EnrollmentResult>)
            << withMember(validConfig, R"("ca_pem":"pem","device_token":42)") << u"«device_token»"_s;
        const Decoder session = &decodingFailure<ProtectedSession>;
        QTest::addRow("bypass 1") << session << replaced(sessionJson, ":false", ":1") << u"«bypass»"_s;
        QTest::addRow("detail without mapping")
            << Decoder(&decodingFailure<ProtectedSessionDetail>) << sessionJson << u"«mapping»"_s;
        const Decoder list = &decodingFailure<ProtectedSessionsResponse>;
        QTest::addRow("no sessions") << list << QByteArray("{}") << u"«sessions»"_s;
        QTest::addRow("fault inside an element")
            << list
            << R"({"sessions":[)" + sessionJson + "," + replaced(sessionJson, ":3,", R"(:"3",)") + "]}"
            << u"«sessions[1].requests»"_s;
        QTest::addRow("category not a string")
            << Decoder(&decodingFailure<ProtectionSettings>)
            << QByteArray(R"({"retention_days":7,"cross_session":true,"disabled_categories":["email",3]})")
            << u"«disabled_categories[1]»"_s;
    }

    void decodingFailureNamesTheMember()
    {
        QFETCH(Decoder, decode);
        QFETCH(QByteArray, json);
        QFETCH(QString, named);
        const QString description = decode(json);
        QVERIFY2(description.contains(named), qPrintable(description));
    }

    void configKeepsAllSixtyFourBitsAndRoundTripsCompact()
    {
        const ClientConfig config = decodeJson<ClientConfig>(R"({"ssh_host":"h","ssh_user":"u",
            "ssh_port":9007199254740993,"local_port":-5,"remote_port":1.0,"unlock_host":"x"})");
        QCOMPARE(config.sshPort, Q_INT64_C(9007199254740993));
        QCOMPARE(config.localPort, -5);
        QCOMPARE(config.remotePort, 1);
        QVERIFY(encodeJson(config).contains("9007199254740993"));

        const QByteArray encoded = encodeJson(decodeJson<ClientConfig>(validConfig));
        QVERIFY(!encoded.contains('\n') && !encoded.contains(": "));
        QCOMPARE(QJsonDocument::fromJson(encoded).object(), QJsonDocument::fromJson(validConfig).object());
    }

    void optionalMembersMayBeAbsentOrNull()
    {
        const QByteArray enrollment = withMember(validConfig, R"("ca_pem":"pem")");
        QVERIFY(!decodeJson<EnrollmentResult>(enrollment).deviceToken);
        QVERIFY(!decodeJson<EnrollmentResult>(withMember(enrollment, R"("device_token":null)")).deviceToken);
        QCOMPARE(decodeJson<EnrollmentResult>(withMember(enrollment, R"("device_token":"tok")")).deviceToken,
            u"tok"_s);

        const QByteArray summary = R"({"device":{"name":"Mac","status":"active"},
            "usage":{"requests":1,"masked_entities":2,"blocked":0}})";
        QVERIFY(!decodeJson<DeviceSummary>(summary).subscription);
        QVERIFY(!decodeJson<DeviceSummary>(summary).device.platform);
        QVERIFY(!decodeJson<DeviceSummary>(withMember(summary, R"("subscription":null)")).subscription);
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
        QTest::addRow("trailing line feed") << QByteArray("2026-03-01T00:00:00Z\\n") << QDateTime();
        QTest::addRow("before year 1 in UTC") << QByteArray("0001-01-01T00:00:00+01:00") << QDateTime();
        QTest::addRow("after year 9999 in UTC") << QByteArray("9999-12-31T23:30:00-01:00") << QDateTime();
    }

    void summaryDatesAreStrictInternetDateTimes()
    {
        QFETCH(QByteArray, periodEnd);
        QFETCH(QDateTime, expected);
        const QByteArray json = summaryWithPeriodEnd(periodEnd);
        if (expected.isValid())
            QCOMPARE(decodeJson<DeviceSummary>(json).subscription->periodEnd, expected);
        else // a bad date fails the whole summary, naming the member by its path
            QVERIFY(decodingFailure<DeviceSummary>(json).contains(u"«subscription.period_end»"_s));
    }

    void sessionsTakeWholeSecondsAndIgnoreUnknownMembers()
    {
        const ProtectedSession session = decodeJson<ProtectedSession>(sessionJson);
        QCOMPARE(session.createdAt, 1700000000.25);
        QCOMPARE(session.lastUsedAt, 1700000100.0);
        QVERIFY(decodeJson<ProtectedSessionsResponse>(R"({"sessions":[]})").sessions.isEmpty());
        const QByteArray extra = withMember(sessionJson, R"("colour":"red","nested":{"a":[1,2]})");
        const auto list
            = decodeJson<ProtectedSessionsResponse>(R"({"version":2,"sessions":[)" + extra + "]}");
        QCOMPARE(list.sessions.size(), 1);
        QCOMPARE(list.sessions.first().title, u"Договор"_s);
        // A time no 64-bit millisecond count holds reads as none (it was converted out of range).
        const ProtectedSession far
            = decodeJson<ProtectedSession>(QByteArray(sessionJson).replace("1700000100", "1e300"));
        QVERIFY(!far.lastUsedAtTime().isValid());
    }
};

QTEST_GUILESS_MAIN(ModelsTest)
#include "tst_Models.moc"
