#include "App/AppModel.h"
#include "App/DeveloperBuild.h"
#include "BuildConstants.h"
#include "Foundation/ClientPaths.h"
#include "Stack.h"
#ifndef Q_OS_MACOS
#include "PrivateDesktop.h"
#endif

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;

class LocalStackTest : public QObject
{
    Q_OBJECT

#ifndef Q_OS_MACOS
    LocalStack::PrivateDesktop m_desktop;
#endif

private Q_SLOTS:
    void initTestCase()
    {
#ifndef Q_OS_MACOS
        QVERIFY2(m_desktop.start(), qPrintable(m_desktop.error()));
#endif
    }

    void clientGoesFromTheKeyToProtectionAndBack_data()
    {
        QTest::addColumn<bool>("desktop");
        QTest::addRow("the stand-ins of the macOS tools") << false;
#ifndef Q_OS_MACOS
        QTest::addRow("a desktop session of its own") << true;
#endif
    }

    // What scripts/run shows a person, driven through the model instead of the window: the
    // one-time key enrolls and protection comes on (the fault run looks at that closely), the
    // account, sessions and update offer load, and switching off puts the proxies back.
    void clientGoesFromTheKeyToProtectionAndBack()
    {
        QFETCH(bool, desktop);
        QDir(ClientPaths::root()).removeRecursively(); // each row enrolls afresh
        QTemporaryDir run;
        LocalStack::Stack stack({ run.path(), {}, QStringLiteral(VETRON_RELEASE_PRIVATE_KEY),
            QString::fromLatin1(BuildConstants::version), QStringLiteral(VETRON_STANDIN_DIR), desktop });
        QStringList events;
        connect(
            &stack, &LocalStack::Stack::happened, this, [&events](const QString &line) { events << line; });
        QVERIFY2(stack.start(), qPrintable(stack.error()));
        qputenv("VETRON_STANDIN_STATE", QFile::encodeName(stack.standInStateDirectory()));

        // What "--local-stack" gives a developer build of the client.
        AppModelOptions options;
        QString problem;
        const auto developer = DeveloperBuild::fromStackFolder(run.path(), &problem);
        QVERIFY2(developer && DeveloperBuild::apply(*developer, options.environment, &problem),
            qPrintable(problem));
        AppModel model(false, options);

        model.startActivate(stack.oneTimeKey());
        QTRY_VERIFY2_WITH_TIMEOUT(model.stateText() == u"protected"_s,
            qPrintable(model.stateText() + u": "_s + model.detail() + u" / "_s + model.message()), 30000);
#ifndef Q_OS_MACOS
        if (desktop)
            QCOMPARE(m_desktop.run(u"gsettings"_s, { u"get"_s, u"org.gnome.system.proxy"_s, u"mode"_s }),
                u"'manual'"_s);
#endif

        model.startLoadAccount();
        model.startLoadSessions();
        model.startCheckUpdates();
        QTRY_VERIFY_WITH_TIMEOUT(model.accountLoaded(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(model.sessions().size(), 3, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(model.updateState().kind, UpdateScreenState::Kind::available, 30000);
        QCOMPARE(model.updateState().manifest->version, stack.offeredVersion());

        model.startToggle();
        QTRY_COMPARE_WITH_TIMEOUT(model.stateText(), u"disabled"_s, 30000);
#ifndef Q_OS_MACOS
        if (desktop) {
            QCOMPARE(m_desktop.run(u"dconf"_s, { u"dump"_s, u"/system/proxy/"_s }), QString());
            return;
        }
#endif
        QTRY_COMPARE(events.constLast(),
            u"Системный прокси: веб- и защищённый веб-прокси Wi-Fi, Ethernet выключены"_s);
    }
};

QTEST_MAIN(LocalStackTest)
#include "tst_LocalStack.moc"
