#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <QStringList>

namespace Vetron::LocalStack {

// Runs `program` with `arguments` in `workingDirectory` (this process's when empty), writes
// `input` to it and waits for its end. Empty on success, with its standard output in `output`
// when given; otherwise what went wrong, its standard error included. It blocks: for setting
// things up before anything is served.
QString runTool(const QString &program, const QStringList &arguments, const QByteArray &input = {},
    QByteArray *output = nullptr, const QString &workingDirectory = {});

// Writes `content` to `path`, its folder made when missing, the file made with `permissions` from
// the start (a private key is never readable by others, not even for a moment). False when it
// cannot be written in full.
bool writeFile(const QString &path, const QByteArray &content,
    QFileDevice::Permissions permissions
    = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);

} // namespace Vetron::LocalStack
