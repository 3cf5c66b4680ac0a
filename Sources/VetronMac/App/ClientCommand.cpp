#include "App/ClientCommand.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace Vetron::ClientCommand {
namespace {

constexpr std::pair<Verb, QByteArrayView> verbNames[] = {
    { Verb::show, "show" },
    { Verb::status, "status" },
    { Verb::on, "on" },
    { Verb::off, "off" },
};

constexpr ProtectionState states[] = {
    ProtectionState::disabled,
    ProtectionState::connecting,
    ProtectionState::protected_,
    ProtectionState::blocked,
};

} // namespace

std::optional<Verb> verbNamed(QByteArrayView name)
{
    for (const auto &[verb, verbName] : verbNames) {
        if (name == verbName)
            return verb;
    }
    return std::nullopt;
}

QByteArray nameOf(Verb verb)
{
    for (const auto &[known, name] : verbNames) {
        if (known == verb)
            return name.toByteArray();
    }
    return {};
}

QByteArray encode(const Answer &answer)
{
    QJsonObject object { { u"state"_s, toText(answer.state) }, { u"detail"_s, answer.detail },
        { u"done"_s, answer.done } };
    if (!answer.failure.isEmpty())
        object.insert(u"failure"_s, answer.failure);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Answer> decode(const QByteArray &line)
{
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    const QString stateName = object.value(u"state"_s).toString();
    const auto *state = std::find_if(std::begin(states), std::end(states),
        [&stateName](ProtectionState known) { return toText(known) == stateName; });
    if (state == std::end(states) || !object.value(u"done"_s).isBool())
        return std::nullopt;
    return Answer { *state, object.value(u"detail"_s).toString(), object.value(u"done"_s).toBool(),
        object.value(u"failure"_s).toString() };
}

int exitStatus(Verb verb, const Answer &answer)
{
    if (!answer.done)
        return exitFailed;
    if (verb == Verb::show || verb == Verb::off)
        return exitDone;
    switch (answer.state) {
    case ProtectionState::protected_:
        return exitDone;
    case ProtectionState::blocked:
        return exitBlocked;
    case ProtectionState::disabled:
        return exitOff;
    case ProtectionState::connecting:
        return exitConnecting;
    }
    return exitFailed;
}

QString report(Verb verb, const Answer &answer)
{
    QString text;
    if (!answer.done)
        text = answer.failure + u'\n';
    // A client that is ending has no state left to tell.
    if (verb != Verb::show && !answer.detail.isEmpty())
        text += u"%1 — %2\n"_s.arg(toText(answer.state), answer.detail);
    return text;
}

QString usage()
{
    return uR"(Использование: vetron [команда]

Без команды запускает Ветрон или показывает окно уже запущенного.

Команды (обращаются к запущенному Ветрону этого пользователя):
  status   состояние защиты и его описание
  on       включить защиту и дождаться результата
  off      выключить защиту и дождаться результата
  show     показать окно Ветрона

Параметры:
  --help      эта справка
  --version   версия Ветрона

Код завершения:
  0  защита включена (status, on); команда выполнена (off, show)
  1  команда не выполнена или Ветрон не ответил
  2  Ветрон не запущен
  3  защита нужна, но не работает: данные напрямую не отправляются
  4  защита выключена
  5  защита подключается
  64 неизвестная команда
)"_s;
}

} // namespace Vetron::ClientCommand
