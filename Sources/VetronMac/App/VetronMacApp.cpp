#include "App/VetronMacApp.h"

#include "App/LicenseAgreement.h"
#include "App/TrayMenu.h"
#include "Foundation/ClientPaths.h"
#include "Platform/TrayHost.h"
#include "Views/QmlModule.h"
#include "Views/ShieldLook.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQuickWindow>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace Vetron {
namespace {

// The model brings this application's window forward when it has something to show.
AppModel::Options withWindow(AppModel::Options options, VetronMacApp *app)
{
    if (!options.showWindow)
        options.showWindow = [app]() { app->showWindow(); };
    return options;
}

} // namespace

VetronMacApp::VetronMacApp(Options options, QObject *parent)
    : QObject(parent)
    , m_trayAvailable(options.trayAvailable)
    , m_showsWindow(options.showWindow)
    , m_noticeTimings(options.notices)
    , m_model(std::make_unique<AppModel>(options.autoConnect, withWindow(std::move(options.model), this)))
    , m_notifier(options.log)
{
    AppDelegate::Options duties;
    duties.nothingToDo = [] {
        return ClientPaths::hasCompleteActivation(ClientPaths::root()) && LicenseAgreement::isAccepted();
    };
    duties.launchAtLogin = std::move(options.launchAtLogin);
    duties.log = std::move(options.log);
    duties.reopenWindow = [this] { showWindow(); };
    m_delegate = std::make_unique<AppDelegate>(std::move(duties));

    prepareQmlEngine(m_engine);
    // Declining the agreement ends the application (Qt.quit() in a view).
    connect(&m_engine, &QQmlEngine::quit, QCoreApplication::instance(), &QCoreApplication::quit,
        Qt::QueuedConnection);
}

VetronMacApp::~VetronMacApp()
{
    // The window's views hold the model: they go first.
    delete m_window.data();
}

bool VetronMacApp::start()
{
    QQmlComponent component(&m_engine, QUrl(u"qrc:/Vetron/MainWindow.qml"_s));
    QObject *object
        = component.createWithInitialProperties({ { u"model"_s, QVariant::fromValue(m_model.get()) } });
    m_window = qobject_cast<QQuickWindow *>(object);
    if (!m_window) {
        delete object;
        QTextStream(stderr) << u"Ветрон: не удалось построить окно — %1\n"_s.arg(component.errorString());
        return false;
    }

    // What a closed window means is decided here (see windowClosed), also for a tray that comes
    // later.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    m_window->installEventFilter(this);
    m_notices = std::make_unique<ProtectionNotices>(*m_model, m_notifier, m_window, m_noticeTimings);
    if (!m_trayAvailable) {
        m_trayHost = new TrayHost(this);
        connect(m_trayHost, &TrayHost::appeared, this, &VetronMacApp::showTray);
        m_trayHost->watch();
    } else if (*m_trayAvailable) {
        showTray();
    }

    if (m_showsWindow)
        m_window->show();
    m_delegate->applicationDidFinishLaunching();
    return true;
}

void VetronMacApp::showTray()
{
    if (!m_tray)
        m_tray = std::make_unique<TrayMenu>(
            *m_model, [this] { showWindow(); }, &ShieldLook::menuBarIcon);
}

bool VetronMacApp::eventFilter(QObject *watched, QEvent *event)
{
    // The type first: while the window is being destroyed it is no QQuickWindow any more, and
    // the comparison would treat it as one.
    if (event->type() == QEvent::Close && watched == m_window)
        windowClosed();
    return QObject::eventFilter(watched, event);
}

void VetronMacApp::windowClosed()
{
    if (m_tray)
        return; // the menu brings it back
    if (m_model->state() == ProtectionState::disabled) {
        m_model->quit();
        return;
    }
    // Ended now, the client would leave the proxies on a tunnel nobody keeps up, with nothing left
    // to switch them back.
    m_notices->tellRunningWithoutWindow();
}

void VetronMacApp::showWindow()
{
    if (!m_window)
        return;
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
}

} // namespace Vetron
