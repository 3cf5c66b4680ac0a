#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Vetron::LocalStack {

// Runs `program` with `arguments` in `workingDirectory` (this process's when empty), writes
// `input` to it and waits for its end. Empty on success, with its standard output in `output`
// when given; otherwise what went wrong, its standard error included. It blocks: for setting
// things up before anything is served.
QString runTool(const QString &program, const QStringList &arguments, const QByteArray &input = {},
    QByteArray *output = nullptr, const QString &workingDirectory = {});

} // namespace Vetron::LocalStack
