#include "App/CommandAnswers.h"

#include <QCoroSignal>

namespace Vetron::CommandAnswers {
namespace {

using ClientCommand::Answer;
using ClientCommand::Verb;

Answer current(const AppModel &model)
{
    return Answer { model.state(), model.detail(), true, {} };
}

// The model is busy from a switch until its last state report has been applied.
QCoro::Task<bool> settled(QPointer<AppModel> model)
{
    while (model && model->busy())
        co_await qCoro(model.data(), &AppModel::busyChanged);
    co_return !model.isNull();
}

// The client went away while the verb waited.
Answer ended()
{
    return Answer { ProtectionState::disabled, {}, false, ending };
}

} // namespace

QCoro::Task<Answer> answer(QPointer<AppModel> model, Verb verb, std::function<void()> showWindow)
{
    if (verb == Verb::show)
        showWindow();
    if (verb == Verb::show || verb == Verb::status)
        co_return current(*model);

    const bool before = co_await settled(model);
    if (!before)
        co_return ended();
    if (verb == Verb::on) {
        if (!model->activated()) {
            Answer refusal = current(*model);
            refusal.done = false;
            refusal.failure = notEnrolled;
            co_return refusal;
        }
        if (model->state() != ProtectionState::protected_)
            co_await model->switchProtectionOn();
    } else if (model->state() != ProtectionState::disabled) {
        co_await model->switchProtectionOff();
    }
    const bool after = co_await settled(model);
    if (!after)
        co_return ended();

    Answer outcome = current(*model);
    const bool switchedOff = model->state() == ProtectionState::disabled;
    if (verb == Verb::on ? switchedOff : !switchedOff) {
        // The state's text says why: the switch-on's error or the restore that failed.
        outcome.done = false;
        outcome.failure = verb == Verb::on ? QStringLiteral("Не удалось включить защиту.")
                                           : QStringLiteral("Не удалось выключить защиту.");
    }
    co_return outcome;
}

} // namespace Vetron::CommandAnswers
