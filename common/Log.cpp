#include "common/Log.h"

#include <cstdio>
#include <utility>

#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcLink, "kessvenn.link")
Q_LOGGING_CATEGORY(lcAlarm, "kessvenn.alarm")
Q_LOGGING_CATEGORY(lcAnnounce, "kessvenn.announce")
Q_LOGGING_CATEGORY(lcMap, "kessvenn.map")
Q_LOGGING_CATEGORY(lcFiles, "kessvenn.files")
Q_LOGGING_CATEGORY(lcRoute, "kessvenn.route")
Q_LOGGING_CATEGORY(lcPrint, "kessvenn.print")
Q_LOGGING_CATEGORY(lcHistory, "kessvenn.history")

namespace Log {

bool stderrIsJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const qsizetype colon = stream.indexOf(':');
    struct stat st { };
    if (colon < 0 || ::fstat(2, &st) != 0)
        return false;
    bool devOk = false, inodeOk = false;
    const qulonglong dev = stream.left(colon).toULongLong(&devOk);
    const qulonglong inode = stream.mid(colon + 1).toULongLong(&inodeOk);
    return devOk && inodeOk && dev == qulonglong(st.st_dev) && inode == qulonglong(st.st_ino);
}

int journalPriority(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return 7;
    case QtInfoMsg:
        return 6;
    case QtWarningMsg:
        return 4;
    case QtCriticalMsg:
        return 3;
    case QtFatalMsg:
        return 2;
    }
    return 6;
}

namespace {

void writeJournalLine(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    QString text = message;
    // One journal entry per message: a line break would start an entry without a priority.
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray category = context.category ? QByteArray(context.category) : QByteArray("default");
    const QByteArray line = '<' + QByteArray::number(journalPriority(type)) + '>'
        + (category == "default" ? QByteArray() : category + ": ") + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void useJournalWhenThere()
{
    if (stderrIsJournal())
        qInstallMessageHandler(writeJournalLine);
}

bool RepeatLimit::failure(Clock::time_point now, int* leftOut)
{
    if (m_failing && now - m_lastLogged < m_interval) {
        ++m_leftOut;
        return false;
    }
    *leftOut = std::exchange(m_leftOut, 0);
    m_failing = true;
    m_lastLogged = now;
    return true;
}

} // namespace Log
