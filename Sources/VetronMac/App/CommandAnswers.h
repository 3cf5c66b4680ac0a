#pragma once

#include "App/AppModel.h"
#include "App/ClientCommand.h"

#include <QCoroTask>
#include <QPointer>

#include <functional>

namespace Vetron::CommandAnswers {

// What the running client answers a command line: `show` calls `showWindow`; `on` and `off`
// first let a switch already under way finish, then switch and answer with the state the
// switch ended in. A switch-on that ends with protection off, a switch-off that could not put
// the user's proxies back, and `on` before the device is enrolled are failures with their reason.
QCoro::Task<ClientCommand::Answer> answer(
    QPointer<AppModel> model, ClientCommand::Verb verb, std::function<void()> showWindow);

inline const QString notEnrolled
    = QStringLiteral("Устройство не активировано: откройте Ветрон (vetron show) и введите ключ активации.");
inline const QString ending = QStringLiteral("Ветрон завершает работу.");

} // namespace Vetron::CommandAnswers
