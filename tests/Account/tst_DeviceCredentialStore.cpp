#include "Account/AccountErrors.h"
#include "Account/DeviceCredentialStore.h"
#include "Foundation/ClientPaths.h"
#include "Platform/Keychain.h"
#include "TestSupport/AwaitTask.h"
#include "TestSupport/TestFiles.h"
#include "TestSupport/TestProfile.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Vetron::Test::awaitTask;
using Vetron::Test::modeOf;
using Vetron::Test::readFile;
using Vetron::Test::writeFile;

namespace {

const QString service = u"io.vetron.device-credential"_s;
const QString account = u"device-api"_s;

// The keychain of an earlier version's Mac: items by service and account, with a count of lookups.
struct LegacyKeychain
{
    QMultiHash<QPair<QString, QString>, QByteArray> items;
    int lookups = 0;

    Platform::Keychain handle()
    {
        return Platform::Keychain {
            .read =
                [this](const QString &s, const QString &a) {
                    ++lookups;
                    const auto found = items.constFind({ s, a });
                    return found == items.cend() ? std::optional<QByteArray>() : std::optional(*found);
                },
            .removeAll =
                [this](const QString &s, const QString &a) {
                    items.remove({ s, a });
                },
        };
    }
};

} // namespace

class DeviceCredentialStoreTest : public QObject
{
    Q_OBJECT

    LegacyKeychain m_keychain;

    static QCoro::Task<QString> read() { return DeviceCredentialStore::read(); }

private Q_SLOTS:
    void init()
    {
        Test::removeTemporaryTree(ClientPaths::root());
        m_keychain = {};
        DeviceCredentialStore::useKeychain(m_keychain.handle());
        DeviceCredentialStore::forgetLegacyCheck();
    }

    void cleanupTestCase() { DeviceCredentialStore::useKeychain(Platform::Keychain::system()); }

    void writtenTokenIsReadBackFromAPrivateFileAndAnEmptyOneRefused()
    {
        DeviceCredentialStore::write(u"token-1"_s);
        QCOMPARE(readFile(DeviceCredentialStore::file()), QByteArray(R"({"device_token":"token-1"})"));
        QCOMPARE(modeOf(DeviceCredentialStore::file()), mode_t(0600));
        QVERIFY_THROWS_EXCEPTION(DeviceCredentialError, DeviceCredentialStore::write({}));
        QCOMPARE(awaitTask(read()).value, u"token-1"_s);
        QCOMPARE(m_keychain.lookups, 0); // a stored token needs no keychain
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
        ClientPaths::prepare();
        QVERIFY(writeFile(DeviceCredentialStore::file(), contents));
        const auto outcome = awaitTask(read());
        const auto *error = outcome.errorAs<DeviceCredentialError>();
        QVERIFY(error);
        QCOMPARE(error->which(), DeviceCredentialError::Case::notFound);
        QCOMPARE(error->description(), u"Токен этого устройства не найден."_s);
        QCOMPARE(m_keychain.lookups, 1);
    }

    void legacyTokenIsTakenOverOncePerRun()
    {
        m_keychain.items.insert({ service, account }, "legacy-7");
        QCOMPARE(awaitTask(read()).value, u"legacy-7"_s);
        QCOMPARE(readFile(DeviceCredentialStore::file()), QByteArray(R"({"device_token":"legacy-7"})"));
        QVERIFY(m_keychain.items.isEmpty());

        QFile::remove(DeviceCredentialStore::file());
        m_keychain.items.insert({ service, account }, "legacy-8");
        QVERIFY(awaitTask(read()).errorAs<DeviceCredentialError>()); // not looked for again this run
        QCOMPARE(m_keychain.lookups, 1);
    }

    void legacyTokenSurvivesAFailedCopy()
    {
        m_keychain.items.insert({ service, account }, "legacy-8");
        // The data directory cannot be created: a file stands where it belongs.
        QVERIFY(QDir().mkpath(QFileInfo(ClientPaths::root()).absolutePath()));
        QVERIFY(writeFile(ClientPaths::root(), "in the way"));
        QCOMPARE(awaitTask(read()).value, u"legacy-8"_s);
        // Not copied, so not deleted either: the next run takes it over.
        QCOMPARE(m_keychain.items.size(), 1);
        QFile::remove(ClientPaths::root());
    }

    // Only valid UTF-8 is a token: other data counts as no item and is left where it is.
    void legacyDataThatIsNotUtf8CountsAsAbsent()
    {
        m_keychain.items.insert({ service, account }, "legacy-\xff\xfe");
        QVERIFY(awaitTask(read()).errorAs<DeviceCredentialError>());
        QVERIFY(!QFile::exists(DeviceCredentialStore::file()));
        QCOMPARE(m_keychain.items.size(), 1);
    }

    void removeClearsTheFileAndTheKeychain()
    {
        DeviceCredentialStore::write(u"token-1"_s);
        m_keychain.items.insert({ service, account }, "legacy-9");
        m_keychain.items.insert({ service, account }, "legacy-10");
        QVERIFY(awaitTask(DeviceCredentialStore::remove()).finished);
        QVERIFY(!QFile::exists(DeviceCredentialStore::file()));
        QVERIFY(m_keychain.items.isEmpty());
    }
};

QTEST_GUILESS_MAIN(DeviceCredentialStoreTest)
#include "tst_DeviceCredentialStore.moc"
