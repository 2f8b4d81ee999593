#pragma once

#include <QByteArray>
#include <QString>

// sound.sh, the script in the data folder that runs the operator's speech program on the speech
// text. Paths go in double quotes with $ ` " and \ escaped; the arguments are shell text on
// purpose (several options in one setting), but a line break in them counts as a blank, so that
// nothing can start a further command line.
namespace SpeechScript {

// Text in double quotes for /bin/sh.
[[nodiscard]] QString ShellQuote(const QString& text);

// The program path and the text file in double quotes, the arguments before between them with a
// blank on each side, and the arguments after, behind one blank, only when there are any.
[[nodiscard]] QString CommandLine(
    const QString& program, const QString& textFile, const QString& argsBefore, const QString& argsAfter);

// "#!/bin/sh", cd into the data folder, the command line; LF line ends; paths in the encoding of
// the file names.
[[nodiscard]] QByteArray Bytes(const QString& dataFolder, const QString& commandLine);

} // namespace SpeechScript
