#pragma once

#include "common/Log.h"

#include <QDebug>
#include <QString>
#include <QStringList>

// The warnings about one file as it is read: the first kMostShown go to the journal and are kept,
// the rest are only counted and told in one line at the end, so that a file of garbage costs a
// few lines of the journal, not one per line of the file.
class FileWarnings {
public:
    static constexpr qsizetype kMostShown = 5;

    explicit FileWarnings(QString source = {})
        : m_source(std::move(source))
    {
    }

    // "mannschaft.csv line 4: problem"; without a line number "mannschaft.csv: problem".
    void warn(int line, const QString& problem)
    {
        if (m_lines.size() >= kMostShown) {
            ++m_more;
            return;
        }
        const QString where = line > 0 ? m_source + QStringLiteral(" line ") + QString::number(line) : m_source;
        m_lines << where + QStringLiteral(": ") + problem;
        qCWarning(lcFiles).noquote() << m_lines.last();
    }

    // The count of those left out, once, when there were any.
    void finish()
    {
        if (m_more == 0)
            return;
        m_lines << m_source + QStringLiteral(": … and %1 more warnings").arg(m_more);
        qCWarning(lcFiles).noquote() << m_lines.last();
        m_more = 0;
    }

    [[nodiscard]] const QStringList& lines() const { return m_lines; }
    [[nodiscard]] const QString& source() const { return m_source; }

private:
    QString m_source;
    QStringList m_lines;
    qsizetype m_more = 0;
};
