#include "App/TrayMenu.h"

#include "App/AppModel.h"
#include "Views/ShieldLook.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

namespace Vetron {

QString trayProtectionLabel(ProtectionState state)
{
    return state == ProtectionState::protected_ ? u"Выключить защиту"_s : u"Включить защиту"_s;
}

bool trayProtectionEnabled(bool busy, bool activated)
{
    return !busy && activated;
}

bool traySectionsEnabled(bool activated, bool agreementAccepted)
{
    return activated && agreementAccepted;
}

TrayMenu::TrayMenu(AppModel &model, std::function<void()> showWindow, IconProvider icon, QObject *parent)
    : QObject(parent)
    , m_model(&model)
    , m_showWindow(std::move(showWindow))
    , m_icon(icon ? std::move(icon) : IconProvider(&TrayMenu::fallbackIcon))
    , m_menu(std::make_unique<QMenu>())
    , m_tray(new QSystemTrayIcon(this))
{
    m_menu->setObjectName(u"trayMenu"_s);
    addItem(u"trayOpenAction"_s, u"Открыть Ветрон"_s, &TrayMenu::openWindow);
    m_protection = addItem(u"trayProtectionAction"_s, QString(), &TrayMenu::switchProtection);
    m_sections = { addItem(u"traySettingsAction"_s, u"Настройки"_s, &TrayMenu::openSettings),
        addItem(u"trayUpdatesAction"_s, u"Обновления"_s, &TrayMenu::openUpdates) };
    m_menu->addSeparator();
    addItem(u"trayQuitAction"_s, u"Закрыть"_s, &TrayMenu::quit);

    connect(&model, &AppModel::stateChanged, this, &TrayMenu::refresh);
    connect(&model, &AppModel::busyChanged, this, &TrayMenu::refresh);
    connect(&model, &AppModel::activatedChanged, this, &TrayMenu::refresh);
    connect(&m_agreement, &LicenseAcceptance::acceptedChanged, this, &TrayMenu::refresh);
    connect(&model, &AppModel::stateChanged, this, &TrayMenu::refreshIcon);
    refresh();
    refreshIcon(); // the icon is set before the tray entry is shown

    m_tray->setContextMenu(m_menu.get());
    m_tray->show();
}

TrayMenu::~TrayMenu() = default;

QIcon TrayMenu::fallbackIcon(ProtectionState state)
{
    // Black on transparent, like a template image: the menu bar decides the colour. Only the
    // switched-off shield is hollow.
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shield;
    shield.moveTo(32, 6);
    shield.cubicTo(40, 12, 48, 14, 56, 14);
    shield.cubicTo(56, 38, 48, 52, 32, 60);
    shield.cubicTo(16, 52, 8, 38, 8, 14);
    shield.cubicTo(16, 14, 24, 12, 32, 6);
    painter.setPen(QPen(Qt::black, 5));
    painter.setBrush(state == ProtectionState::disabled ? QBrush(Qt::NoBrush) : QBrush(Qt::black));
    painter.drawPath(shield);
    painter.end();
    return QIcon(pixmap);
}

QAction *TrayMenu::addItem(const QString &objectName, const QString &label, void (TrayMenu::*action)())
{
    QAction *item = m_menu->addAction(label);
    item->setObjectName(objectName);
    connect(item, &QAction::triggered, this, action);
    return item;
}

void TrayMenu::refresh()
{
    if (!m_model)
        return;
    m_protection->setText(trayProtectionLabel(m_model->state()));
    m_protection->setEnabled(trayProtectionEnabled(m_model->busy(), m_model->activated()));
    for (QAction *section : std::as_const(m_sections))
        section->setEnabled(traySectionsEnabled(m_model->activated(), m_agreement.accepted()));
}

void TrayMenu::refreshIcon()
{
    if (!m_model)
        return;
    m_tray->setIcon(m_icon(m_model->state()));
    m_tray->setToolTip(ShieldLook::of(m_model->state()).label);
}

void TrayMenu::openWindow()
{
    m_showWindow();
}

// The operations below guard themselves against the model going away; each runs on after the
// menu has closed.
void TrayMenu::switchProtection()
{
    if (m_model)
        m_model->toggle();
}

void TrayMenu::openSettings()
{
    if (!m_model)
        return;
    m_model->open(MainSection::settings);
    m_showWindow();
}

void TrayMenu::openUpdates()
{
    m_showWindow();
    if (m_model)
        m_model->open(MainSection::updates);
}

void TrayMenu::quit()
{
    if (m_model)
        m_model->quit();
}

} // namespace Vetron
