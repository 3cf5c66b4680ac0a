#include "Views/UpdateLook.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace Vetron;
using Kind = UpdateScreenState::Kind;
using UpdateLook::Card;
using UpdateLook::ReleaseFooter;

Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(Card)
Q_DECLARE_METATYPE(ReleaseFooter)
Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<QStringList>)

class UpdateLookTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eachStateHasItsCard_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<Card>("card");
        QTest::addColumn<QString>("checkLabel");
        QTest::addColumn<ReleaseFooter>("footer");
        QTest::addRow("idle") << Kind::idle << Card::action << u"Проверить обновления"_s << ReleaseFooter::none;
        QTest::addRow("checking") << Kind::checking << Card::progress << QString() << ReleaseFooter::none;
        QTest::addRow("failed") << Kind::failed << Card::status << u"Проверить ещё раз"_s << ReleaseFooter::none;
        QTest::addRow("current") << Kind::current << Card::status << u"Проверить ещё раз"_s << ReleaseFooter::none;
        QTest::addRow("available")
            << Kind::available << Card::release << QString() << ReleaseFooter::installButton;
        // No second installation can be started while one runs.
        QTest::addRow("downloading")
            << Kind::downloading << Card::release << QString() << ReleaseFooter::installing;
        QTest::addRow("downloaded") << Kind::downloaded << Card::release << QString() << ReleaseFooter::installed;
    }

    void eachStateHasItsCard()
    {
        QFETCH(Kind, kind);
        QFETCH(Card, card);
        QFETCH(QString, checkLabel);
        QFETCH(ReleaseFooter, footer);
        QCOMPARE(UpdateLook::card(kind), card);
        QCOMPARE(UpdateLook::checkLabel(kind), checkLabel);
        QCOMPARE(UpdateLook::releaseFooter(kind), footer);
    }

    void statusCardsSayWhatHappened()
    {
        const UpdateScreenState failed = UpdateScreenState::failed(u"Сервер обновлений недоступен."_s);
        QCOMPARE(UpdateLook::statusTitle(failed.kind), u"Не удалось проверить обновления"_s);
        QCOMPARE(UpdateLook::statusText(failed), u"Сервер обновлений недоступен."_s);
        const UpdateScreenState current = UpdateScreenState::of(Kind::current);
        QCOMPARE(UpdateLook::statusTitle(current.kind), u"Установлена последняя версия"_s);
        QCOMPARE(UpdateLook::statusText(current), u"Новых обновлений сейчас нет."_s);
        QVERIFY(UpdateLook::statusTint(Kind::failed) != UpdateLook::statusTint(Kind::current));
    }

    void releaseTitleAndNotesStandIns_data()
    {
        QTest::addColumn<std::optional<QString>>("title");
        QTest::addColumn<std::optional<QStringList>>("notes");
        QTest::addColumn<QString>("shownTitle");
        QTest::addColumn<QStringList>("shownNotes");
        QTest::addRow("neither")
            << std::optional<QString>() << std::optional<QStringList>() << u"Улучшения и исправления Ветрона"_s
            << QStringList { u"Повышена стабильность и безопасность приложения."_s };
        QTest::addRow("own")
            << std::optional(u"Весенний выпуск"_s) << std::optional(QStringList { u"Быстрее"_s, u"Тише"_s })
            << u"Весенний выпуск"_s << QStringList { u"Быстрее"_s, u"Тише"_s };
        QTest::addRow("empty notes list shows none")
            << std::optional<QString>() << std::optional(QStringList()) << u"Улучшения и исправления Ветрона"_s
            << QStringList();
    }

    void releaseTitleAndNotesStandIns()
    {
        QFETCH(std::optional<QString>, title);
        QFETCH(std::optional<QStringList>, notes);
        QFETCH(QString, shownTitle);
        QFETCH(QStringList, shownNotes);
        const MacReleaseManifest manifest { u"1.4.2"_s, u"https://example.test/v.dmg"_s, {}, {}, title, notes };
        QCOMPARE(UpdateLook::releaseHeading(manifest), u"Доступна версия 1.4.2"_s);
        QCOMPARE(UpdateLook::releaseTitle(manifest), shownTitle);
        QCOMPARE(UpdateLook::releaseNotes(manifest), shownNotes);
    }
};

QTEST_APPLESS_MAIN(UpdateLookTest)
#include "tst_UpdateLook.moc"
