#include "Stack.h"

#include "BuildConstants.h"
#include "Foundation/ScriptQuoting.h"
#include "SignedRelease.h"
#include "ToolRun.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace Vetron::LocalStack {

namespace {

const QString unlockHost = u"unlock.vetron.internal"_s;

QString randomText(qsizetype length)
{
    // No letters or digits that read alike (O and 0, I and 1).
    static constexpr QStringView alphabet = u"ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    QString text;
    for (qsizetype i = 0; i < length; ++i)
        text += alphabet.at(QRandomGenerator::system()->bounded(int(alphabet.size())));
    return text;
}

QJsonObject mapping(const QString &placeholder, const QString &original)
{
    return { { u"placeholder"_s, placeholder }, { u"original"_s, original } };
}

// Conversations of the last few days, newest first, as a protection server lists them.
QJsonArray sampleSessions()
{
    const double now = double(QDateTime::currentSecsSinceEpoch());
    const auto session = [now](const QString &id, const QString &title, double hoursAgo, int requests,
                             const QJsonArray &rows) {
        return QJsonObject { { u"id"_s, id }, { u"kind"_s, u"chat"_s }, { u"title"_s, title },
            { u"created_at"_s, now - hoursAgo * 3600 - 1800 }, { u"last_used_at"_s, now - hoursAgo * 3600 },
            { u"requests"_s, requests }, { u"replacements"_s, rows.size() * requests },
            { u"bypass"_s, false }, { u"mapping"_s, rows } };
    };
    return {
        session(u"s-1"_s, u"Договор аренды квартиры"_s, 1, 6,
            { mapping(u"[ИМЯ_1]"_s, u"Анна Смирнова"_s), mapping(u"[ПАСПОРТ_1]"_s, u"45 12 345678"_s),
                mapping(u"[АДРЕС_1]"_s, u"Москва, ул. Лесная, д. 7, кв. 12"_s) }),
        session(u"s-2"_s, u"Письмо в банк"_s, 26, 3,
            { mapping(u"[ИМЯ_1]"_s, u"Анна Смирнова"_s), mapping(u"[КАРТА_1]"_s, u"2200 1234 5678 9012"_s) }),
        session(u"s-3"_s, u"Резюме для отклика"_s, 75, 9,
            { mapping(u"[ТЕЛЕФОН_1]"_s, u"+7 916 123-45-67"_s),
                mapping(u"[ПОЧТА_1]"_s, u"anna.smirnova@example.ru"_s) }),
    };
}

QJsonObject summary(const QString &deviceName)
{
    const QDateTime periodEnd = QDateTime::fromSecsSinceEpoch(
        QDateTime::currentSecsSinceEpoch() + 30 * 24 * 3600, QTimeZone::utc());
    return {
        { u"device"_s,
            QJsonObject {
                { u"name"_s, deviceName }, { u"platform"_s, u"macos"_s }, { u"status"_s, u"active"_s } } },
        { u"subscription"_s,
            QJsonObject {
                { u"status"_s, u"active"_s }, { u"period_end"_s, periodEnd.toString(Qt::ISODate) } } },
        { u"usage"_s,
            QJsonObject { { u"requests"_s, 18 }, { u"masked_entities"_s, 57 }, { u"blocked"_s, 0 } } },
    };
}

QJsonObject service(const QString &name)
{
    const QJsonObject off { { u"enabled"_s, false }, { u"server"_s, QString() }, { u"port"_s, 0 } };
    return { { u"name"_s, name }, { u"enabled"_s, true }, { u"web"_s, off }, { u"secure"_s, off },
        { u"bypass"_s, QJsonArray() } };
}

} // namespace

Stack::Stack(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    connect(&m_account, &Tools::AccountServer::deviceEnrolled, this, &Stack::enrolled);
}

Stack::~Stack()
{
    // Connections first, so that no client is answered by a half-stopped stack.
    m_account.close();
    m_protection.close();
    m_protectedPages.close();
    m_directPages.close();
}

bool Stack::start()
{
    const QDir directory(m_options.directory);
    if (!directory.mkpath(u"."_s))
        return fail(u"cannot create "_s + m_options.directory);

    m_certificates = std::make_unique<DeveloperCertificates>(directory.filePath(u"authority"_s));
    if (!m_certificates->isValid())
        return fail(u"developer certificates: "_s + m_certificates->errorString());

    m_protection.setKeyFromFirstUnlock(true);
    m_protection.setUnlockHost(unlockHost);
    m_protection.setSessions(sampleSessions());
    if (!m_protection.listen())
        return fail(u"the protection server does not listen on 127.0.0.1"_s);
    if (!m_protectedPages.listen(m_certificates->serverCertificate(), m_certificates->serverKey())
        || !m_directPages.listen(m_certificates->serverCertificate(), m_certificates->serverKey()))
        return fail(u"the test site's page servers do not listen on 127.0.0.1"_s);
    m_protection.setTunnelledHost(QString::fromLatin1(pageHost), m_protectedPages.port());

    m_sshd = std::make_unique<SshServer>(SshServer::Options { .forwardPort = m_protection.port(),
        .directory = directory.filePath(u"sshd"_s),
        .hostKey = m_options.hostKey,
        .deviceKey = false,
        .removeMadePrivilegeSeparationDirectory = true });
    if (!m_sshd->start())
        return fail(m_sshd->lastError());
    m_localPort = SshServer::pickFreePort();

    const QJsonObject services { { u"services"_s,
        QJsonArray { service(u"Wi-Fi"_s), service(u"Ethernet"_s) } } };
    if (!directory.mkpath(u"standin-state"_s)
        || !writeFile(
            QDir(standInStateDirectory()).filePath(u"networksetup.json"_s), QJsonDocument(services).toJson()))
        return fail(u"cannot write the stand-ins' state in "_s + standInStateDirectory());
    if (!m_options.desktop) {
        m_proxies = std::make_unique<ProxySettingsWatch>(standInStateDirectory());
        connect(m_proxies.get(), &ProxySettingsWatch::changed, this,
            [this](const QString &description) { Q_EMIT happened(u"Системный прокси: "_s + description); });
    }

    m_oneTimeKey = u"VTRN-%1-%2-%3-%4"_s.arg(randomText(4), randomText(4), randomText(4), randomText(4));
    m_account.acceptEnrollmentToken(m_oneTimeKey);
    m_account.setEnrollmentAnswer({ { u"ssh_host"_s, u"127.0.0.1"_s }, { u"ssh_user"_s, m_sshd->userName() },
        { u"ssh_port"_s, m_sshd->port() }, { u"local_port"_s, m_localPort },
        { u"remote_port"_s, m_protection.port() }, { u"unlock_host"_s, unlockHost },
        { u"ca_pem"_s, QString::fromLatin1(m_certificates->caCertificatePem()) },
        { u"device_token"_s, u"device-"_s + randomText(24) } });
    m_account.setClaimedDeviceToken(u"device-"_s + randomText(24));
    m_account.setSummaryAnswer(summary(u"Mac"_s));
    if (!m_account.listen(m_certificates->serverCertificate(), m_certificates->serverKey()))
        return fail(u"the enrollment and portal service does not listen on 127.0.0.1"_s);
    if (!offerRelease())
        return false;
    if (!writeFile(directory.filePath(u"client.json"_s), clientFile()))
        return fail(u"cannot write client.json in "_s + m_options.directory);
    return true;
}

bool Stack::setProtectionFault(ProtectionFault fault)
{
    m_protection.clearOverrides();
    m_protection.setEchoNonce(fault != ProtectionFault::wrongNonce);
    if (fault == ProtectionFault::closed) {
        m_protection.close();
        return true;
    }
    if (!m_protection.isListening()) {
        m_protection.setMapUnlocked(false);
        if (!m_protection.listen(m_protection.port()))
            return false;
    }
    // The hosts a tunnel's probes and unlock ask.
    const QString hosts[] = { QString::fromLatin1(BuildConstants::statusHost), unlockHost };
    for (const QString &host : hosts) {
        if (fault == ProtectionFault::error500)
            m_protection.setOverride(host, 500, "internal error");
        else if (fault == ProtectionFault::garbage)
            m_protection.setOverride(host,
                { .status = 200,
                    .body = "\x01\xfe garbage, no HTTP here\r\n\r\n",
                    .delivery = Tools::HttpOverride::Delivery::notHttp });
    }
    return true;
}

void Stack::holdEnrollment(bool hold)
{
    const QString path = u"/api/enroll"_s;
    // Status 0 keeps the usual answer; an hour's delay is as good as never for a run.
    m_account.setOverride(path, 0, {}, hold ? 3'600'000 : 0);
}

QString Stack::standInStateDirectory() const
{
    return QDir(m_options.directory).filePath(u"standin-state"_s);
}

QString Stack::installedLinuxClient() const
{
    return QDir(standInStateDirectory()).filePath(u"root/usr/bin/vetron"_s);
}

bool Stack::offerRelease()
{
    if (m_options.releasePrivateKey.isEmpty() || !QFile::exists(m_options.releasePrivateKey))
        return true;
    const QString version = nextPatchVersion(m_options.version);
    QString problem;
    const auto release = SignedRelease::make(
        { version, baseUrl(), m_options.releasePrivateKey, QDir(m_options.directory).filePath(u"release"_s),
            m_options.client, m_options.directory },
        &problem);
    if (!release)
        return fail(u"the release: "_s + problem);
    m_account.setFile(release->path, release->image);
    m_account.setReleaseManifest(release->manifest);
    m_account.setFile(release->linuxPath, release->linuxPackage);
    m_account.setFile(u"/api/v1/releases/linux/stable"_s, release->linuxManifest);
    m_offeredVersion = version;
    return true;
}

void Stack::enrolled(const QString &pubkey, const QString &deviceName)
{
    // Called before the enrollment's answer goes out: the key can log in by the time the client
    // has the address to log in to.
    if (!m_sshd->authorizeKey(pubkey.toUtf8())) {
        Q_EMIT happened(u"Ключ устройства не допущен к SSH-серверу: "_s + m_sshd->lastError());
        return;
    }
    m_account.setSummaryAnswer(summary(deviceName));
    Q_EMIT happened(
        u"Ключ принят: «%1» зарегистрирован, его SSH-ключ может только пересылать на сервер защиты 127.0.0.1:%2"_s
            .arg(deviceName)
            .arg(m_protection.port()));
}

QUrl Stack::pageUrl() const
{
    QUrl url;
    url.setScheme(u"https"_s);
    url.setHost(QString::fromLatin1(pageHost));
    url.setPort(m_directPages.port());
    url.setPath(u"/"_s);
    return url;
}

QString Stack::banner() const
{
    const QString release = m_offeredVersion.isEmpty()
        ? u"не предлагается: у этой сборки нет закрытого ключа подписи выпусков"_s
        : u"%1, подписано ключом подписи этой сборки"_s.arg(m_offeredVersion);
    return u"Ветрон: локальные службы запущены, все только на 127.0.0.1.\n"
           u"  SSH-сервер                    127.0.0.1:%1, ключ хоста %2\n"
           u"  сервер защиты                 127.0.0.1:%3\n"
           u"  регистрация и личный кабинет  %4, сертификат от центра сертификации этого запуска\n"
           u"  обновление                    %5\n"
           u"  системный прокси              %6\n"
           u"  проверочная страница          %8 (напрямую на 127.0.0.1, через защиту — на сервер\n"
           u"                                защиты; браузеру нужно сказать, что имя ведёт на 127.0.0.1)\n"
           u"\n"
           u"Одноразовый ключ для активации — вставьте его в окне Ветрона:\n"
           u"\n"
           u"    %7\n"_s.arg(QString::number(m_sshd->port()), QString::fromLatin1(hostKeyLine()),
               QString::number(m_protection.port()), baseUrl().toString(), release, proxies(), m_oneTimeKey,
               pageUrl().toString());
}

QByteArray Stack::environment() const
{
    const QList<std::pair<QString, QString>> values {
        { u"VETRON_STACK_BASE_URL"_s, baseUrl().toString() },
        { u"VETRON_STACK_HOST_KEY"_s, QString::fromLatin1(hostKeyLine()) },
        { u"VETRON_STACK_CA_FILE"_s, certificateAuthorityFile() },
        { u"VETRON_STACK_ONE_TIME_KEY"_s, m_oneTimeKey },
        { u"VETRON_STANDIN_STATE"_s, standInStateDirectory() },
        { u"VETRON_STACK_PAGE_URL"_s, pageUrl().toString() },
    };
    QString text;
    for (const auto &[name, value] : values)
        text += name + u'=' + ScriptQuoting::shellQuoted(value) + u'\n';
    return text.toUtf8();
}

QByteArray Stack::clientFile() const
{
    const QJsonObject values { { u"serverBase"_s, baseUrl().toString() },
        { u"hostKey"_s, QString::fromLatin1(hostKeyLine()) },
        { u"certificateAuthority"_s, certificateAuthorityFile() }, { u"toolFolder"_s, m_options.toolFolder },
        { u"desktop"_s, m_options.desktop }, { u"installedClient"_s, installedLinuxClient() } };
    return QJsonDocument(values).toJson();
}

bool Stack::fail(const QString &message)
{
    m_error = message;
    return false;
}

} // namespace Vetron::LocalStack
