#pragma once

#include "App/AppModel.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSize>
#include <QStringList>
#include <QVariantMap>

#include <memory>

namespace Vetron::Test {

// Loads one of the views for real, in a window of its own drawn by the software renderer, so a
// test can find its items by objectName, click them and look at the picture.
class ViewHarness
{
public:
    ViewHarness();

    // Shows qrc:/Vetron/<view>.qml with its required properties, filling a window of `size` points
    // on the window background, and waits for the first frame. A view that does not load, or is
    // never drawn, ends the test process with the reason: no test can go on without it.
    std::unique_ptr<QQuickWindow> show(
        const QString &view, const QVariantMap &properties, QSize size = QSize(620, 800));
    // The same for an item made from QML `source`.
    std::unique_ptr<QQuickWindow> showSource(const QString &source, QSize size);

    // A model as the views get it, switched on by nobody, with a wake notifier of its own; it asks
    // `servers`, by default an address where nothing answers (an update check fails at once).
    static std::unique_ptr<AppModel> makeModel(
        AppModel::Options options = {}, const QUrl &servers = QUrl(QStringLiteral("https://127.0.0.1:1")));

    // The item named `name` anywhere in the window, or null.
    static QQuickItem *find(QQuickWindow &window, const QString &name);
    // The same item, which must be there: a missing one ends the test process.
    static QQuickItem *item(QQuickWindow &window, const QString &name);
    // Items named `name` in the visual tree below `root`, which also holds what repeaters made.
    static QList<QQuickItem *> items(QQuickItem *root, const QString &name);
    // Whether the item named `name` exists and is visible.
    static bool shown(QQuickWindow &window, const QString &name);
    // The `text` of the item named `name`, or a marker naming the missing item.
    static QString text(QQuickWindow &window, const QString &name);
    // Every text the window shows, in item order.
    static QStringList shownTexts(QQuickWindow &window);
    // A left click at the item's centre.
    static void click(QQuickWindow &window, const QQuickItem &item);
    // The colour of the picture at the item's local `point` (points).
    static QColor colourAt(QQuickWindow &window, const QQuickItem &item, QPointF point);
    static bool containsColour(const QImage &picture, const QColor &colour);
    // Saves what the window shows as <name>-<data tag>.png (<name>.png outside a data-driven test)
    // for a person to look at, only when VETRON_TEST_PICTURES names a directory.
    static void keepPicture(QQuickWindow &window, const QString &name);

private:
    std::unique_ptr<QQuickWindow> present(
        QQmlComponent &component, const QVariantMap &properties, QSize size);

    QQmlEngine m_engine;
};

} // namespace Vetron::Test
