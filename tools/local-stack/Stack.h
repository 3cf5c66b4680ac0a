#pragma once

#include "AccountServer.h"
#include "DeveloperCertificates.h"
#include "PageServer.h"
#include "ProtectionServer.h"
#include "ProxySettingsWatch.h"
#include "SshServer.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace Vetron::LocalStack {

// Everything the client talks to, on 127.0.0.1 with ports the system assigns: a real sshd whose
// device keys, once enrolled, may only forward to the protection server; the protection server;
// the HTTPS enrollment and account-portal service with a certificate from a developer CA, which
// accepts one one-time key and offers a signed release one patch above the client's version;
// the state of the macOS tool stand-ins with two network services, Wi-Fi and Ethernet; and a test
// site for browsers, reached through the protection server or directly (see pageUrl).
class Stack : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        // The run's own folder, made when missing: certificates, sshd's files, stand-in state.
        QString directory;
        // sshd's host key, kept across runs (made when missing); in `directory` when empty.
        QString hostKey;
        // The release-signing private key (PEM); without one no release is offered.
        QString releasePrivateKey;
        // The client's version; the release offered is one patch above it.
        QString version;
        // The stand-ins for the macOS tools, named in the clients' file.
        QString toolFolder;
        // The client switches the proxies of a desktop session of its run's own instead of the
        // networksetup stand-in's.
        bool desktop = false;
        // The client the offered release's launcher starts once installed; without one the
        // installed release only says that it has nothing to start.
        QString client {};
    };

    // The test site's name. A browser is told that it resolves to 127.0.0.1, where the "direct"
    // page server answers; through the tunnel the protection server carries it to a page server
    // of its own, the "protection" one. Both have a certificate from the run's authority, which
    // the client trusts at enrollment.
    static constexpr char pageHost[] = "assistant.vetron.test";

    explicit Stack(Options options, QObject *parent = nullptr);
    ~Stack() override;

    // Starts every service; false with the reason in error().
    bool start();
    QString error() const { return m_error; }

    QString oneTimeKey() const { return m_oneTimeKey; }
    // The enrollment server and the account portal: one HTTPS service.
    QUrl baseUrl() const { return m_account.baseUrl(); }
    QByteArray hostKeyLine() const { return m_sshd->hostKeyLine(); }
    QString certificateAuthorityFile() const { return m_certificates->caCertificatePath(); }
    QString standInStateDirectory() const;
    // Where the pkexec stand-in installs the Linux package's client, as apt-get would at /.
    QString installedLinuxClient() const;
    quint16 localPort() const { return m_localPort; }
    QString offeredVersion() const { return m_offeredVersion; }
    QString proxies() const
    {
        if (m_options.desktop)
            return QStringLiteral(
                "настройки прокси рабочего стола этого запуска (GSettings, изменения — ниже)");
        return m_proxies ? m_proxies->current() : QString();
    }

    // Faults of the protection server: closed (its port refuses), answering 500, echoing a nonce
    // other than the one asked, answering bytes that are not HTTP. Back from closed it is a
    // server that has restarted, with the map locked again. False when it cannot listen again.
    enum class ProtectionFault { none, closed, error500, wrongNonce, garbage };
    bool setProtectionFault(ProtectionFault fault);
    // While held, enrollment requests get no answer; the one-time key stays unused.
    void holdEnrollment(bool hold);

    SshServer &sshServer() { return *m_sshd; }
    Tools::ProtectionServer &protectionServer() { return m_protection; }
    Tools::AccountServer &accountServer() { return m_account; }
    // The test site's page, at the direct page server's port.
    QUrl pageUrl() const;
    Tools::PageServer &protectedPages() { return m_protectedPages; }
    Tools::PageServer &directPages() { return m_directPages; }

    // What a person starting the stack reads first: the services and the one-time key.
    QString banner() const;
    // The values a client build and its run need, as shell assignments.
    QByteArray environment() const;
    // What a developer client started with "--local-stack <directory>" reads from the folder's
    // "client.json", which start() writes: the base URL, the CA, sshd's host key, the stand-ins,
    // the Linux client a desktop update installs.
    QByteArray clientFile() const;

Q_SIGNALS:
    // Something to show as it happens: a device enrolled, the system proxies changed.
    void happened(const QString &line);

private:
    bool fail(const QString &message);
    bool offerRelease();
    void enrolled(const QString &pubkey, const QString &deviceName);

    Options m_options;
    QString m_error;
    std::unique_ptr<DeveloperCertificates> m_certificates;
    Tools::ProtectionServer m_protection;
    Tools::AccountServer m_account;
    Tools::PageServer m_protectedPages { QStringLiteral("protection") };
    Tools::PageServer m_directPages { QStringLiteral("direct") };
    std::unique_ptr<SshServer> m_sshd;
    std::unique_ptr<ProxySettingsWatch> m_proxies;
    quint16 m_localPort = 0;
    QString m_oneTimeKey;
    QString m_offeredVersion;
};

} // namespace Vetron::LocalStack
