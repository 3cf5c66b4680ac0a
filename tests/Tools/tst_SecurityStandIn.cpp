#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// "<exit code>: <standard output><standard error>" of a run of `program`.
QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30'000) || process.exitStatus() != QProcess::NormalExit)
        return u"did not finish: "_s + process.errorString();
    return QString::number(process.exitCode()) + u": "_s
        + QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

QString security(const QStringList &arguments)
{
    return run(QString::fromUtf8(VETRON_STANDIN_DIR "/security"), arguments);
}

QString generic(const QString &command, const QString &account, const QStringList &more = {})
{
    return security(QStringList { command, u"-s"_s, u"vpn"_s, u"-a"_s, account } + more);
}

} // namespace

class SecurityStandInTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_state.emplace();
        QVERIFY(m_state->isValid());
        qputenv("VETRON_STANDIN_STATE", QFile::encodeName(m_state->path()));
    }

    void trustedCertificateIsKeptUnderOpensslsFingerprintUntilDeleted()
    {
        const QString pem = m_state->filePath(u"c.pem"_s);
        const QString key = m_state->filePath(u"k"_s);
        const QString openssl = u"/usr/bin/openssl"_s;
        QStringList request = u"req -x509 -newkey ed25519 -nodes -subj /CN=Test -days 1 -out"_s.split(u' ');
        QVERIFY(run(openssl, request << pem << u"-keyout"_s << key).startsWith(u"0: "_s));
        const QString printed = run(openssl, u"x509 -noout -fingerprint -sha1 -in"_s.split(u' ') << pem);
        const QString fingerprint = printed.section(u'=', 1).trimmed().remove(u':');

        const QString keychain = m_state->filePath(u"login.keychain-db"_s);
        QStringList trust { u"add-trusted-cert"_s, u"-r"_s, u"trustRoot"_s, u"-k"_s, keychain, pem };
        QCOMPARE(security(trust), u"0: "_s);
        QCOMPARE(security(trust), u"0: "_s); // trusting again replaces the entry
        const QJsonArray trusted = certificates();
        QCOMPARE(trusted.size(), 1);
        QCOMPARE(trusted.at(0)[u"sha1"_s].toString(), fingerprint);
        QCOMPARE(trusted.at(0)[u"keychain"_s].toString(), keychain);

        trust[5] = key;
        QCOMPARE(security(trust), u"1: SecCertificateCreateFromData: Unknown format in import.\n"_s);
        QCOMPARE(certificates(), trusted);

        const QStringList remove { u"delete-certificate"_s, u"-Z"_s, fingerprint.toLower(), keychain };
        QCOMPARE(security(remove), u"0: "_s);
        QCOMPARE(certificates(), QJsonArray());
        QCOMPARE(security(remove),
            u"1: Unable to delete certificate matching \"%1\"\n"_s.arg(fingerprint.toLower()));
    }

    void genericPasswordIsFoundUntilDeleted()
    {
        QCOMPARE(generic(u"add-generic-password"_s, u"alice"_s, { u"-w"_s, u"s3cret"_s }), u"0: "_s);
        QCOMPARE(generic(u"add-generic-password"_s, u"bob"_s, { u"-w"_s, u"other"_s }), u"0: "_s);
        const QStringList find = u"find-generic-password -w -a alice -s vpn"_s.split(u' ');
        QCOMPARE(security(find), u"0: s3cret\n"_s);

        QCOMPARE(generic(u"delete-generic-password"_s, u"alice"_s), u"0: password has been deleted.\n"_s);
        QCOMPARE(security(find),
            u"44: security: SecKeychainSearchCopyNext: The specified item could not be found in the keychain.\n"_s);
        QVERIFY(generic(u"delete-generic-password"_s, u"alice"_s).startsWith(u"44: "_s));
        QCOMPARE(generic(u"find-generic-password"_s, u"bob"_s, { u"-w"_s }), u"0: other\n"_s);
    }

    void commandListedToFailChangesNothingButIsLogged()
    {
        QCOMPARE(generic(u"add-generic-password"_s, u"alice"_s, { u"-w"_s, u"pw"_s }), u"0: "_s);
        QFile fail(m_state->filePath(u"security.fail"_s));
        QVERIFY(fail.open(QIODevice::WriteOnly) && fail.write("delete-generic-password\n") > 0);
        fail.close();

        QCOMPARE(generic(u"delete-generic-password"_s, u"alice"_s), u"1: security: simulated failure\n"_s);
        QCOMPARE(generic(u"find-generic-password"_s, u"alice"_s, { u"-w"_s }), u"0: pw\n"_s);
        QFile log(m_state->filePath(u"security.log"_s));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(
            log.readAll().split('\n').value(1), R"(["delete-generic-password","-s","vpn","-a","alice"])");
    }

private:
    QJsonArray certificates() const
    {
        QFile state(m_state->filePath(u"security.json"_s));
        const QByteArray json = state.open(QIODevice::ReadOnly) ? state.readAll() : QByteArray();
        return QJsonDocument::fromJson(json).object().value(u"certificates"_s).toArray();
    }

    std::optional<QTemporaryDir> m_state;
};

QTEST_GUILESS_MAIN(SecurityStandInTest)
#include "tst_SecurityStandIn.moc"
