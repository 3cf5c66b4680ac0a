#include "Account/AccountErrors.h"
#include "Account/DeviceCredentialStore.h"
#include "Foundation/ClientPaths.h"

#include "TestSupport/AwaitTask.h"
#include "TestSupport/StandIns.h"
#include "TestSupport/TestProfile.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::StandIns;
using Vetron::Test::awaitTask;

namespace {

const QString service = u"io.vetron.device-credential"_s;
const QString account = u"device-api"_s;

void writeFile(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class DeviceCredentialStoreTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<StandIns> m_standIns;

    QCoro::Task<QString> read() { return DeviceCredentialStore::read(m_standIns->tools()); }

    int legacyItems() const { return m_standIns->securityState().value(u"genericPasswords"_s).toArray().size(); }

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path())); }

    void init()
    {
        Test::removeTemporaryTree(ClientPaths::root());
        m_standIns = std::make_unique<StandIns>();
        DeviceCredentialStore::forgetLegacyCheck();
    }

    void writtenTokenIsReadBackFromAPrivateFile()
    {
        DeviceCredentialStore::write(u"token-1"_s);
        QCOMPARE(readFile(DeviceCredentialStore::file()), QByteArray(R"({"device_token":"token-1"})"));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(DeviceCredentialStore::file()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        QCOMPARE(awaitTask(read()).value, u"token-1"_s);
        QVERIFY(m_standIns->calls(u"security"_s).isEmpty()); // a stored token needs no keychain
    }

    void emptyTokenIsRefusedAndKeepsTheOldOne()
    {
        DeviceCredentialStore::write(u"token-1"_s);
        try {
            DeviceCredentialStore::write({});
            QFAIL("an empty token was written");
        } catch (const DeviceCredentialError &error) {
            QCOMPARE(error.which(), DeviceCredentialError::Case::invalidValue);
        }
        QCOMPARE(awaitTask(read()).value, u"token-1"_s);
    }

    void emptyOrMalformedFileFallsThroughToNotFound_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addRow("empty token") << QByteArray(R"({"device_token":""})");
        QTest::addRow("number") << QByteArray(R"({"device_token":42})");
        QTest::addRow("not JSON") << QByteArray("device_token=x");
    }

    void emptyOrMalformedFileFallsThroughToNotFound()
    {
        QFETCH(QByteArray, contents);
        writeFile(DeviceCredentialStore::file(), contents);
        const auto outcome = awaitTask(read());
        const auto *error = outcome.errorAs<DeviceCredentialError>();
        QVERIFY(error);
        QCOMPARE(error->which(), DeviceCredentialError::Case::notFound);
        QCOMPARE(error->description(), u"Токен этого устройства не найден."_s);
        QCOMPARE(m_standIns->calls(u"security"_s).size(), 1); // the keychain was asked once
    }

    void legacyTokenIsTakenOverOnce()
    {
        m_standIns->addGenericPassword(service, account, u"legacy-7"_s);
        // Two overlapping reads: only one looks at the keychain.
        auto first = read();
        auto second = read();
        const auto firstOutcome = awaitTask(std::move(first));
        const auto secondOutcome = awaitTask(std::move(second));
        QCOMPARE(firstOutcome.value, u"legacy-7"_s);
        QVERIFY(secondOutcome.errorAs<DeviceCredentialError>() || secondOutcome.value == u"legacy-7"_s);
        int lookups = 0;
        for (const QStringList &call : m_standIns->calls(u"security"_s))
            lookups += call.first() == u"find-generic-password"_s;
        QCOMPARE(lookups, 1);

        QCOMPARE(readFile(DeviceCredentialStore::file()), QByteArray(R"({"device_token":"legacy-7"})"));
        QCOMPARE(legacyItems(), 0);
        QCOMPARE(awaitTask(read()).value, u"legacy-7"_s); // now from the file
    }

    void legacyTokenSurvivesAFailedCopy()
    {
        m_standIns->addGenericPassword(service, account, u"legacy-8"_s);
        // The data directory cannot be created: a file stands where it belongs.
        QDir().mkpath(QFileInfo(ClientPaths::root()).absolutePath());
        writeFile(ClientPaths::root(), "in the way");
        QCOMPARE(awaitTask(read()).value, u"legacy-8"_s);
        // Not copied, so not deleted either: the next run takes it over.
        QCOMPARE(legacyItems(), 1);
        QFile::remove(ClientPaths::root());
    }

    void removeClearsTheFileAndTheKeychain()
    {
        DeviceCredentialStore::write(u"token-1"_s);
        m_standIns->addGenericPassword(service, account, u"legacy-9"_s);
        m_standIns->addGenericPassword(service, account, u"legacy-10"_s);
        QVERIFY(awaitTask(DeviceCredentialStore::remove(m_standIns->tools())).finished);
        QVERIFY(!QFile::exists(DeviceCredentialStore::file()));
        QCOMPARE(legacyItems(), 0);
        QVERIFY(awaitTask(DeviceCredentialStore::remove(m_standIns->tools())).value); // nothing left: no failure
    }
};

QTEST_GUILESS_MAIN(DeviceCredentialStoreTest)
#include "tst_DeviceCredentialStore.moc"
