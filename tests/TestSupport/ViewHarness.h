#pragma once

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSize>
#include <QVariantMap>

#include <memory>

namespace Vetron::Test {

// Loads one of the views for real, in a window of its own drawn by the software renderer, so a
// test can find its items by objectName, click them and look at the picture.
class ViewHarness
{
public:
    ViewHarness();

    QQmlEngine &engine() { return m_engine; }

    // Shows qrc:/Vetron/<view>.qml with its required properties, filling a window of `size` points
    // on the window background, and waits for the first frame. Null (with the errors logged) when
    // the view does not load.
    std::unique_ptr<QQuickWindow> show(const QString &view, const QVariantMap &properties,
                                       QSize size = QSize(620, 800));

    // The item named `name` anywhere in the window, or null.
    static QQuickItem *find(QQuickWindow &window, const QString &name);
    // A left click at the item's centre.
    static void click(QQuickWindow &window, const QQuickItem &item);
    // The next frame drawn, at the window's device pixel ratio.
    static QImage picture(QQuickWindow &window);
    // The colour of the picture at the item's local `point` (points).
    static QColor colourAt(QQuickWindow &window, const QQuickItem &item, QPointF point);
    static bool containsColour(const QImage &picture, const QColor &colour);
    // Saves `picture` as <name>.png for a person to look at, only when VETRON_TEST_PICTURES names
    // a directory.
    static void keepPicture(const QImage &picture, const QString &name);

private:
    QQmlEngine m_engine;
};

} // namespace Vetron::Test
