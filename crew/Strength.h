#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class CrewFile;

// Who is coming to the current station alarm: the pager holders' answers counted against the
// member list. A pure function of the answers, the alarm's time, the crew and the display settings.
namespace Strength {

// display.ini: strength.leaders (qualifications that count as leaders, highest rank first) and
// strength.show (the qualifications counted on screen).
struct Settings {
    QStringList leaders { QStringLiteral("ZF"), QStringLiteral("GF") };
    QStringList shown { QStringLiteral("AGT"), QStringLiteral("Ma"), QStringLiteral("C") };
    bool operator==(const Settings&) const = default;
};

enum class Reply { Coming, Later, Not, Unknown };

// A "WACHALARM_RM" answer as it came: its time, the pager id, the holder's name from the pager
// message (may be empty) and the feedback code.
struct Answer {
    QDateTime at;
    QString pagerId;
    QString holder;
    int code = -1;
};

struct Person {
    QString name;
    QStringList qualifications;
    Reply reply = Reply::Unknown;
    bool operator==(const Person&) const = default;
    // "Zora Zink (ZF AGT)"; the name alone without qualifications.
    [[nodiscard]] QString text() const;
};

struct Count {
    QList<int> leaders; // per Settings::leaders
    int rest = 0;
    int coming = 0;
    QList<int> shown; // per Settings::shown, of those coming
    int later = 0;
    int notComing = 0;
    int unknown = 0;
    // Those coming, then later, then not; leaders first by rank, then by name.
    QList<Person> people;
    // Whether there is a station alarm to count for.
    bool counting = false;
    // The alarm is the stored one shown again at start-up: the answers before the restart are
    // not in the count, so the count is not the alarm's whole strength.
    bool replayed = false;

    // "1/2/6/9": the leaders by rank, the rest, the total coming.
    [[nodiscard]] QString strengthText() const;
    // "AGT 4 · Ma 2 · C 3"
    [[nodiscard]] QString shownText(const Settings& settings) const;
    // "später 2 · nicht 1 · unbekannt 3"
    [[nodiscard]] QString repliesText() const;
    // The strength and the counted qualifications on one line, the replies on the next; empty
    // without an alarm to count for.
    [[nodiscard]] QString text(const Settings& settings) const;
    // One line per person: "Zora Zink (ZF AGT): kommt".
    [[nodiscard]] QString peopleText() const;
};

[[nodiscard]] Reply replyOf(int feedbackCode);
// "kommt", "später", "nicht", "unbekannt"
[[nodiscard]] QString replyWord(Reply reply);

// Answers count when they came from the alarm's time to 60 minutes after it; a holder counts
// once, with the newest answer. Without an alarm nothing counts.
[[nodiscard]] Count count(const QList<Answer>& answers, const std::optional<QDateTime>& alarm, const CrewFile& crew,
    const Settings& settings);

} // namespace Strength
