#pragma once

#include "App/AppModel.h"

#include <functional>

// What a developer build made against the local stack (scripts/run) adds to the application:
// the stack's certificate authority trusted in this process, the macOS tools replaced by the
// stand-ins, and each protection state report echoed to the terminal. A release build cannot be
// configured with the constants that switch it on.
namespace Vetron::DeveloperBuild {

struct Constants {
    QString certificateAuthorityFile; // PEM
    QString toolFolder;               // the stand-ins, under the macOS tools' names

    bool isEmpty() const { return certificateAuthorityFile.isEmpty() && toolFolder.isEmpty(); }
};

// This build's constants: both empty except in a developer build.
Constants fromBuild();

// Trusts the authority for every network client made from then on and points the model's tools
// (the tunnel's too) at the stand-ins. False, with the reason in `problem`, when the authority
// cannot be read; the tools are set all the same.
bool apply(const Constants &constants, AppModelOptions &options, QString *problem);

// Calls `write` with one line for each state report the model applies, its state and its text:
// "Ветрон: protected — Личные данные заменяются перед отправкой".
void echoProtectionState(AppModel &model, std::function<void(const QString &line)> write);

} // namespace Vetron::DeveloperBuild
