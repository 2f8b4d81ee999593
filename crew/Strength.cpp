#include "crew/Strength.h"

#include "crew/CrewFile.h"
#include "history/HistoryStore.h"

#include <QCollator>
#include <QHash>

#include <algorithm>
#include <vector>

namespace Strength {

namespace {

const QString kDot = QStringLiteral(" · ");

// The index of the first of `wanted` that the qualifications hold; -1 for none.
qsizetype rankIn(const QStringList& wanted, const QStringList& qualifications)
{
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        if (qualifications.contains(wanted[i], Qt::CaseInsensitive))
            return i;
    }
    return -1;
}

} // namespace

Reply replyOf(int feedbackCode)
{
    switch (feedbackCode) {
    case 1:
        return Reply::Coming;
    case 2:
        return Reply::Later;
    case 0:
        return Reply::Not;
    default:
        return Reply::Unknown;
    }
}

QString Count::strengthText() const
{
    QStringList parts;
    for (const int n : leaders)
        parts << QString::number(n);
    parts << QString::number(rest) << QString::number(coming);
    return parts.join(QLatin1Char('/'));
}

QString Count::shownText(const Settings& settings) const
{
    QStringList parts;
    for (qsizetype i = 0; i < settings.shown.size() && i < shown.size(); ++i)
        parts << settings.shown[i] + QLatin1Char(' ') + QString::number(shown[i]);
    return parts.join(kDot);
}

QString Count::repliesText() const
{
    return QStringList { replyWord(Reply::Later) + QLatin1Char(' ') + QString::number(later),
        replyWord(Reply::Not) + QLatin1Char(' ') + QString::number(notComing),
        replyWord(Reply::Unknown) + QLatin1Char(' ') + QString::number(unknown) }
        .join(kDot);
}

QString Count::text(const Settings& settings) const
{
    if (!counting)
        return QString();
    const QString counted = shownText(settings);
    return strengthText() + (counted.isEmpty() ? QString() : kDot + counted) + QLatin1Char('\n') + repliesText();
}

QString Count::peopleText() const
{
    QStringList lines;
    for (const Person& p : people)
        lines << p.text() + QStringLiteral(": ") + replyWord(p.reply);
    return lines.join(QLatin1Char('\n'));
}

QString Person::text() const
{
    return qualifications.isEmpty()
        ? name
        : name + QStringLiteral(" (") + qualifications.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QString replyWord(Reply reply)
{
    switch (reply) {
    case Reply::Coming:
        return QStringLiteral("kommt");
    case Reply::Later:
        return QStringLiteral("später");
    case Reply::Not:
        return QStringLiteral("nicht");
    case Reply::Unknown:
        break;
    }
    return QStringLiteral("unbekannt");
}

Count count(
    const QList<Answer>& answers, const std::optional<QDateTime>& alarm, const CrewFile& crew, const Settings& settings)
{
    Count result;
    result.leaders.fill(0, settings.leaders.size());
    result.shown.fill(0, settings.shown.size());
    if (!alarm)
        return result;
    result.counting = true;

    // The newest answer of each holder within the window; of two at the same time the later one.
    QHash<QString, const Answer*> newest;
    for (const Answer& answer : answers) {
        const qint64 after = alarm->secsTo(answer.at);
        if (after < 0 || after > HistoryStore::kAnswerWindowSecs)
            continue;
        const Answer*& kept = newest[answer.pagerId];
        if (!kept || kept->at <= answer.at)
            kept = &answer;
    }

    struct Ranked {
        Person person;
        qsizetype rank;
        QCollatorSortKey key;
    };
    // Names in the order of the station's language; a key per name, as there may be thousands.
    const QCollator collator;
    std::vector<Ranked> ranked;
    for (const Answer* answer : std::as_const(newest)) {
        Person person;
        person.reply = replyOf(answer->code);
        const CrewFile::Member* member = crew.find(answer->pagerId);
        if (member) {
            person.name = member->name;
            person.qualifications = member->qualifications;
        }
        if (person.name.isEmpty())
            person.name = answer->holder.isEmpty() ? answer->pagerId : answer->holder;
        const qsizetype rank = rankIn(settings.leaders, person.qualifications);
        switch (person.reply) {
        case Reply::Coming:
            ++result.coming;
            if (rank >= 0)
                ++result.leaders[rank];
            else
                ++result.rest;
            for (qsizetype i = 0; i < settings.shown.size(); ++i) {
                if (person.qualifications.contains(settings.shown[i], Qt::CaseInsensitive))
                    ++result.shown[i];
            }
            break;
        case Reply::Later:
            ++result.later;
            break;
        case Reply::Not:
            ++result.notComing;
            break;
        case Reply::Unknown:
            ++result.unknown;
            continue; // counted, not listed
        }
        const QCollatorSortKey key = collator.sortKey(person.name);
        ranked.push_back({ std::move(person), rank < 0 ? settings.leaders.size() : rank, key });
    }
    std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.person.reply != b.person.reply)
            return a.person.reply < b.person.reply;
        if (a.rank != b.rank)
            return a.rank < b.rank;
        return a.key.compare(b.key) < 0;
    });
    for (const Ranked& r : std::as_const(ranked))
        result.people.append(r.person);
    return result;
}

} // namespace Strength
