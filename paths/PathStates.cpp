#include "paths/PathStates.h"

#include "common/Log.h"

PathStates::PathStates(QObject* parent)
    : QObject(parent)
{
}

int PathStates::add(const QString& name, State state, const QDateTime& since)
{
    m_paths.append(Path { name, state, since });
    emit changed();
    return int(m_paths.size() - 1);
}

void PathStates::remove(int index)
{
    if (index < 0 || index >= m_paths.size())
        return;
    qCInfo(lcLink).noquote() << "Alarm path" << m_paths[index].name << "no longer watched";
    m_paths.removeAt(index);
    emit changed();
}

void PathStates::clear()
{
    if (m_paths.isEmpty())
        return;
    m_paths.clear();
    emit changed();
}

void PathStates::set(int index, State state, const QDateTime& since)
{
    if (index < 0 || index >= m_paths.size() || m_paths[index].state == state)
        return;
    Path& path = m_paths[index];
    path.state = state;
    path.since = since;
    const QString line = path.name + QStringLiteral(": ") + stateWord(state);
    if (state == State::Connected)
        qCInfo(lcLink).noquote() << "Alarm path" << line;
    else
        qCWarning(lcLink).noquote() << "Alarm path" << line;
    emit changed();
}

QString PathStates::stateWord(State state)
{
    switch (state) {
    case State::Connected:
        return QStringLiteral("verbunden");
    case State::Silent:
        return QStringLiteral("still");
    case State::Down:
        break;
    }
    return QStringLiteral("getrennt");
}

QStringList PathStates::problems() const
{
    QStringList texts;
    for (const Path& path : m_paths) {
        if (path.state != State::Connected)
            texts << path.name + QLatin1Char(' ') + stateWord(path.state) + QStringLiteral(" seit ")
                    + path.since.toString(QStringLiteral("HH:mm"));
    }
    return texts;
}

QStringList PathStates::describe() const
{
    QStringList lines;
    for (const Path& path : m_paths)
        lines << path.name + QStringLiteral(": ") + stateWord(path.state) + QStringLiteral(" seit ")
                + path.since.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    return lines;
}
