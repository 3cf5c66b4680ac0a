#include "App/AppModel.h"
#include "TestSupport/ViewHarness.h"
#include "Views/QmlModule.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;

// The model as QML sees it: typed records with their members by name.
class ModelForViewsTest : public QObject
{
    Q_OBJECT

    static ProtectedSession session(const QString &id, const QString &title = {})
    {
        ProtectedSession session;
        session.id = id;
        session.title = title;
        return session;
    }

    // Evaluates `expression` with `model` in scope.
    static QVariant evaluate(QQmlEngine &engine, AppModel &model, const QString &expression)
    {
        QQmlComponent component(&engine);
        component.setData(u"import QtQml\nimport Vetron\nQtObject { required property var model\n"
                          "function run() { return %1 } }"_s.arg(expression)
                              .toUtf8(),
            QUrl());
        std::unique_ptr<QObject> object(
            component.createWithInitialProperties({ { u"model"_s, QVariant::fromValue(&model) } }));
        if (!object) {
            qWarning() << component.errorString();
            return u"(no object)"_s;
        }
        QVariant result;
        QMetaObject::invokeMethod(object.get(), "run", Q_RETURN_ARG(QVariant, result));
        return result;
    }

private Q_SLOTS:
    // What the views read straight from QML; the rest reaches them through the looks' functions.
    void recordsReachViewsTyped_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QVariant>("expected");
        QTest::addRow("no subscription") << u"model.hasSubscription"_s << QVariant(false);
        QTest::addRow("usage") << u"model.usage.maskedEntities"_s << QVariant(12.0);
        QTest::addRow("session title") << u"model.sessions[1].title"_s << QVariant(u"Второй"_s);
        QTest::addRow("session count") << u"model.sessions.length"_s << QVariant(2);
        QTest::addRow("nothing selected") << u"model.hasSelectedSession"_s << QVariant(false);
    }

    void recordsReachViewsTyped()
    {
        QFETCH(QString, expression);
        QFETCH(QVariant, expected);
        auto model = Test::ViewHarness::makeModel();
        model->setUsage({ 1, 12, 3 });
        model->setSessions({ session(u"a"_s), session(u"b"_s, u"Второй"_s) });
        QQmlEngine engine;
        prepareQmlEngine(engine);
        QVariant actual = evaluate(engine, *model, expression);
        QVERIFY(actual.convert(expected.metaType()));
        QCOMPARE(actual, expected);
    }
};

QTEST_GUILESS_MAIN(ModelForViewsTest)
#include "tst_ModelForViews.moc"
