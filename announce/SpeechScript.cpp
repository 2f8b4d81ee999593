#include "announce/SpeechScript.h"

#include <QFile>

namespace SpeechScript {

namespace {

QString oneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

QString ShellQuote(const QString& text)
{
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += QLatin1Char('"');
    for (const QChar ch : text) {
        if (ch == QLatin1Char('$') || ch == QLatin1Char('`') || ch == QLatin1Char('"') || ch == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += ch;
    }
    quoted += QLatin1Char('"');
    return quoted;
}

QString CommandLine(
    const QString& program, const QString& textFile, const QString& argsBefore, const QString& argsAfter)
{
    QString line
        = ShellQuote(program) + QLatin1Char(' ') + oneLine(argsBefore) + QLatin1Char(' ') + ShellQuote(textFile);
    if (!argsAfter.isEmpty())
        line += QLatin1Char(' ') + oneLine(argsAfter);
    return line;
}

QByteArray Bytes(const QString& dataFolder, const QString& commandLine)
{
    // The shell hands these bytes to the kernel as they are: paths must be in the encoding of the
    // file names, or a folder with an umlaut would not be found.
    const QString text = QStringLiteral("#!/bin/sh\ncd ") + ShellQuote(oneLine(dataFolder)) + QLatin1Char('\n')
        + commandLine + QLatin1Char('\n');
    return QFile::encodeName(text);
}

} // namespace SpeechScript
