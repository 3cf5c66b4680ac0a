#pragma once

#include "App/AppModel.h"

#include <QPointer>
#include <QUrl>

#include <functional>
#include <optional>

// What a developer build made against the local stack (scripts/run) adds to the application:
// the stack's certificate authority trusted in this process, the macOS tools replaced by the
// stand-ins, and each protection state report echoed to the terminal. A release build cannot be
// configured with the constants that switch it on.
namespace Vetron::DeveloperBuild {

struct Constants
{
    QString certificateAuthorityFile; // PEM
    QString toolFolder;               // the stand-ins, under the macOS tools' names
    QUrl serverBase;                  // enrollment and portal; the build's when empty
    QString hostKey;                  // "ssh-ed25519 AAAA…" of the stack's sshd; the build's when empty
    bool desktop = false;             // the desktop's own settings, not the stand-ins', are switched
    QString installedClient {};       // where a desktop update installs the client; this one when empty

    bool isEmpty() const
    {
        return certificateAuthorityFile.isEmpty() && toolFolder.isEmpty() && serverBase.isEmpty()
            && hostKey.isEmpty();
    }
};

// This build's constants: all empty except in a developer build.
Constants fromBuild();

// The file a running local stack writes into its folder for clients: the values above as JSON.
inline constexpr char stackFileName[] = "client.json";

// The constants of the local stack whose folder is `folder`, for "--local-stack" in builds that
// take developer options, so that any developer build runs against it without being built again.
// Nothing, with the reason in `problem`, when the file is missing or lacks a value.
std::optional<Constants> fromStackFolder(const QString &folder, QString *problem);

// Trusts the authority for every network client made from then on, points the environment's
// tools at the stand-ins, and its servers and pinned host key at the stack's. False, with the
// reason in `problem`, when the authority cannot be read; the environment is set all the same.
bool apply(const Constants &constants, ClientEnvironment &environment, QString *problem);

// Calls `write` with one line for each state report the model applies, its state and its text:
// "Ветрон: protected — Личные данные заменяются перед отправкой".
void echoProtectionState(AppModel &model, std::function<void(const QString &line)> write);

// Calls `write` with one line for each step of the updates screen that says something: "Ветрон:
// обновления — Доступна версия 0.9.1", "… — Скачиваем и устанавливаем обновление…", "… —
// Установлена последняя версия".
void echoUpdates(AppModel &model, std::function<void(const QString &line)> write);

// Once protection is on, checks for updates and installs the release offered, as if the user had
// chosen to install it on the updates screen and accepted the agreement ("--update").
QCoro::Task<> installOfferedUpdate(QPointer<AppModel> model);

} // namespace Vetron::DeveloperBuild
