#pragma once

#include "Foundation/ProtectionState.h"

#include <QString>
#include <QStringView>

// The detail texts that accompany each protection state report.
namespace Vetron::TunnelStateTexts {

inline constexpr QStringView connecting = u"Устанавливаем защищённое соединение…";
inline constexpr QStringView protectedNow = u"Личные данные заменяются перед отправкой";
inline constexpr QStringView disabled = u"Защита выключена";
inline constexpr QStringView notSentDirectlyPrefix = u"Данные напрямую не отправляются. ";
inline constexpr QStringView restoreFailedPrefix = u"Не удалось восстановить настройки сети: ";
inline constexpr QStringView portBusy = u"Локальный порт занят другой программой";
inline constexpr QStringView interrupted = u"Защищённое соединение прервано. Повторяем подключение…";
inline constexpr QStringView reconnectFailed = u"Соединение недоступно. Данные напрямую не отправляются.";
inline constexpr QStringView tryingToRecover = u"Соединение недоступно. Пробуем восстановить…";
inline constexpr QStringView serverUnavailable
    = u"Сервер защиты временно недоступен. Данные напрямую не отправляются.";
inline constexpr QStringView afterSleep = u"Восстанавливаем защищённое соединение после сна…";

// The detail of a report that came without a text of its own: the state's plain name.
inline QString defaultDetail(ProtectionState state)
{
    switch (state) {
    case ProtectionState::disabled:
        return disabled.toString();
    case ProtectionState::connecting:
        return QStringLiteral("Подключаем защиту");
    case ProtectionState::protected_:
        return QStringLiteral("Личные данные под защитой");
    case ProtectionState::blocked:
        return QStringLiteral("Отправка данных остановлена");
    }
    return {};
}

} // namespace Vetron::TunnelStateTexts
