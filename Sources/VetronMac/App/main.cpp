#include "App/CommandAnswers.h"
#include "App/CommandLine.h"
#include "App/DeveloperBuild.h"
#include "App/LaunchOptions.h"
#include "App/PreviewRenderer.h"
#include "App/SingleInstance.h"
#include "App/VetronMacApp.h"
#include "BuildConstants.h"
#include "Foundation/ClientPaths.h"
#include "Foundation/Error.h"
#include "Platform/Preferences.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QQuickWindow>
#include <QTranslator>

namespace {

// Qt's own texts (its error strings among them) in Russian. On macOS they ship inside the
// bundle, in Resources/translations; elsewhere Qt's installed translations serve.
void installQtTranslations(QCoreApplication &application)
{
    auto *translator = new QTranslator(&application);
    const QString bundled
        = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../Resources/translations"));
    const QStringList places { bundled, QLibraryInfo::path(QLibraryInfo::TranslationsPath) };
    for (const QString &place : places) {
        if (QDir(place).exists() && translator->load(QStringLiteral("qtbase_ru"), place)) {
            QCoreApplication::installTranslator(translator);
            return;
        }
    }
    delete translator;
}

// Ends the event loop with `status`; queued, since the loop may not be running yet.
void exitLater(int status)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
}

// A later start: the running client is asked to bring its window forward, and this process ends
// without having touched anything.
QCoro::Task<> handOver(Vetron::SingleInstance *instance)
{
    const Vetron::SingleInstance::Reply reply = co_await instance->ask(Vetron::ClientCommand::Verb::show);
    if (reply.outcome != Vetron::SingleInstance::Reply::Outcome::answered)
        QTextStream(stderr) << QStringLiteral(
            "Ветрон уже запущен, но не ответил: его окно показать не удалось.\n");
    exitLater(0);
}

} // namespace

using namespace Vetron;

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments << QString::fromLocal8Bit(argv[index]);
    const QString socketName = SingleInstance::serverName(ClientPaths::instanceSocket());
    // A command asks the running client and ends; it needs no display.
    if (const std::optional<CommandLine::Request> request = CommandLine::requested(arguments)) {
        QCoreApplication application(argc, argv);
        CommandLine::run(*request, ClientPaths::instanceLock(), socketName).then(exitLater);
        return application.exec();
    }

    const std::optional<QString> previewDirectory = LaunchOptions::previewDirectory(arguments);
    if (previewDirectory)
        PreviewRenderer::prepareProcess();
    // Pictures take none of Qt's own options (a "-platform" would bring a window back).
    int applicationArgc = previewDirectory ? 1 : argc;

    // Widgets only for the menu-bar icon's menu; the window itself is Qt Quick.
    QApplication application(applicationArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vetron"));
    // What Qt files per organisation (its caches, say) goes under the product, not "Unknown
    // Organization"; the preferences name their place themselves (Platform::Preferences).
    QCoreApplication::setOrganizationName(QStringLiteral("Vetron"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("vetron.io"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(Vetron::BuildConstants::version));
    installQtTranslations(application);

    if (previewDirectory)
        return PreviewRenderer::renderAll(*previewDirectory) ? 0 : 1;

    // One client per user: taken before anything can reach the proxies, ssh or the data files,
    // and held until the process ends.
    SingleInstance instance(ClientPaths::instanceLock(), socketName);
    try {
        if (!instance.claim()) {
            handOver(&instance);
            return application.exec();
        }
    } catch (...) {
        // Without the lock the client still starts: switching protection off must stay possible.
        QTextStream(stderr) << QStringLiteral("Ветрон: не удалось проверить, не запущен ли он уже — %1\n")
                                   .arg(describeError(std::current_exception()));
    }

    // Before anything reads them: an agreement accepted under an earlier version stays accepted.
    Platform::Preferences::carryOver();

    VetronMacApp::Options options;
    options.showWindow = !(BuildConstants::developerOptions && LaunchOptions::startsHidden(arguments));
    DeveloperBuild::Constants developer = DeveloperBuild::fromBuild();
    QString problem;
    if (const std::optional<QString> stack = LaunchOptions::localStackFolder(arguments);
        stack && BuildConstants::developerOptions) {
        const std::optional<DeveloperBuild::Constants> fromStack
            = DeveloperBuild::fromStackFolder(*stack, &problem);
        if (!fromStack) {
            QTextStream(stderr) << QStringLiteral("Ветрон: локальные службы не найдены — %1\n").arg(problem);
            return 1;
        }
        developer = *fromStack;
        // A run against the local stack is a build tree's, never the user's installed client: it
        // does not make itself a login item (on macOS that would be the developer's own).
        options.launchAtLogin = { .isEnabled = [] { return true; }, .registerApplication = [] {} };
    }
    options.model.environment.system = ClientEnvironment::platformBackend();
    if (!DeveloperBuild::apply(developer, options.model.environment, &problem))
        QTextStream(stderr)
            << QStringLiteral("Ветрон: сертификат разработчика не принят — %1\n").arg(problem);
    const std::optional<QString> installedVersion
        = BuildConstants::developerOptions ? LaunchOptions::installedVersion(arguments) : std::nullopt;
    if (installedVersion)
        QCoreApplication::setApplicationVersion(*installedVersion);
    VetronMacApp app(std::move(options));
    app.model().setVersionOverride(installedVersion);
    if (!developer.isEmpty()) {
        const auto echo = [](const QString &line) { QTextStream(stdout) << line << Qt::endl; };
        echo(QStringLiteral("Ветрон: версия %1").arg(app.model().currentVersion()));
        DeveloperBuild::echoProtectionState(app.model(), echo);
        DeveloperBuild::echoUpdates(app.model(), echo);
    }
    if (!app.start())
        return 1;
    instance.setHandler([&app](ClientCommand::Verb verb) {
        return CommandAnswers::answer(&app.model(), verb, [&app] { app.showWindow(); });
    });
    if (!developer.isEmpty()) {
        // For whoever drives the build: when the window has its first picture on screen.
        auto *window = app.window();
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = QObject::connect(window, &QQuickWindow::frameSwapped, window, [once] {
            QObject::disconnect(*once);
            QTextStream(stdout) << QStringLiteral("Ветрон: окно показано") << Qt::endl;
        });
    }
    if (const std::optional<QString> key = LaunchOptions::activationKey(arguments);
        key && BuildConstants::developerOptions && !app.model().activated())
        app.model().startActivate(*key);
    if (BuildConstants::developerOptions && LaunchOptions::installsOfferedUpdate(arguments))
        DeveloperBuild::installOfferedUpdate(&app.model());
    return application.exec();
}
