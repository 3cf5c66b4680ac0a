#include "App/AppModel.h"
#include "App/DeveloperBuild.h"
#include "BuildConstants.h"
#include "Stack.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;

class LocalStackTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What scripts/run shows a person, driven through the model instead of the window: the
    // one-time key enrolls and protection comes on (the fault run looks at that closely), the
    // account, sessions and update offer load, and switching off puts the proxies back.
    void clientGoesFromTheKeyToProtectionAndBack()
    {
        QTemporaryDir run;
        LocalStack::Stack stack({ run.path(), {}, QStringLiteral(VETRON_RELEASE_PRIVATE_KEY),
            QString::fromLatin1(BuildConstants::version), QStringLiteral(VETRON_STANDIN_DIR) });
        QStringList events;
        connect(&stack, &LocalStack::Stack::event, this, [&events](const QString &line) { events << line; });
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
        QTRY_COMPARE_WITH_TIMEOUT(model.stateText(), u"protected"_s, 30000);

        model.startLoadAccount();
        model.startLoadSessions();
        model.startCheckUpdates();
        QTRY_VERIFY_WITH_TIMEOUT(model.accountLoaded(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(model.sessions().size(), 3, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(model.updateState().kind, UpdateScreenState::Kind::available, 30000);
        QCOMPARE(model.updateState().manifest->version, stack.offeredVersion());

        model.startToggle();
        QTRY_COMPARE_WITH_TIMEOUT(model.stateText(), u"disabled"_s, 30000);
        QTRY_COMPARE(events.constLast(),
            u"Системный прокси: веб- и защищённый веб-прокси Wi-Fi, Ethernet выключены"_s);
    }
};

QTEST_MAIN(LocalStackTest)
#include "tst_LocalStack.moc"
