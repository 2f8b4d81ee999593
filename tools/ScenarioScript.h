#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The dispatch simulator's scenario language: one step per line, read as UTF-8.
//
//   # comment                  ignored, as are empty lines
//   wait SECONDS               pause before the next step (decimal, e.g. 2.5)
//   TYPE<TAB>FIELD<TAB>...      one message; its fields separated by TAB characters or by \t
//
// Escapes inside a message line: \7 the character 7 (ends each unit, separates ticker subfields),
// \n a line break CR LF inside a field, \t a TAB, \\ a backslash, \xHH the byte HH, \D the date
// ("08.12.2026") and \T the time of day ("19:35:12") at the moment the message is sent. Messages
// travel in Windows-1252; a character it cannot hold is sent as "?".
namespace ScenarioScript {

struct Step {
    enum class Kind { Nothing, Wait, Message };
    Kind kind = Kind::Nothing;
    int waitMs = 0;
    QString message; // the payload as text, escapes resolved; one character is one byte on the wire
    QString error; // why the line was not understood (the step is then Nothing)
};

[[nodiscard]] Step parseLine(const QString& line);

// Resolves the escapes of a message line; \D and \T stay as marks until stamp().
[[nodiscard]] QString unescape(const QString& text, QString* error = nullptr);

// The message as sent at `now`: the marks of \D and \T replaced by its date and time of day.
[[nodiscard]] QString stamp(const QString& message, const QDateTime& now);

// The printable form of received or sent text: the escapes above for control characters.
[[nodiscard]] QString escape(const QString& text);

// Every step of a scenario, with "line N: ..." for each line that was not understood.
[[nodiscard]] QList<Step> parseScript(const QString& script, QStringList* errors = nullptr);

} // namespace ScenarioScript
