#include "tests/support/PrivateCups.h"

#include "tests/support/TestFiles.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

PrivateCups::PrivateCups()
{
    const QString cupsd = QStandardPaths::findExecutable(QStringLiteral("cupsd"), { QStringLiteral("/usr/sbin") });
    if (cupsd.isEmpty() || !m_dir.isValid()) {
        m_whyNot = QStringLiteral("cupsd is not installed (package cups-daemon)");
        return;
    }
    const QDir dir(m_dir.path());
    for (const char* sub : { "spool", "cache", "state", "log", "tmp" })
        dir.mkpath(QLatin1String(sub));
    const QByteArray root = QFile::encodeName(m_dir.path());
    const bool written = TestFiles::writeAll(dir.filePath(QStringLiteral("cupsd.conf")),
                             QByteArray("Listen @/cups.sock\nBrowsing No\nWebInterface No\nPreserveJobFiles Yes\n"
                                        "<Location />\nOrder allow,deny\nAllow all\n</Location>\n")
                                 .replace("@", root))
        && TestFiles::writeAll(dir.filePath(QStringLiteral("cups-files.conf")),
            QByteArray("ServerRoot @\nRequestRoot @/spool\nCacheDir @/cache\nStateDir @/state\nTempDir @/tmp\n"
                       "ErrorLog @/log/error_log\nAccessLog @/log/access_log\nPageLog @/log/page_log\nFileDevice Yes\n")
                .replace("@", root));
    if (!written) {
        m_whyNot = QStringLiteral("cannot write the scheduler's configuration");
        return;
    }
    m_cupsd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_cupsd.start(cupsd,
        { QStringLiteral("-f"), QStringLiteral("-c"), dir.filePath(QStringLiteral("cupsd.conf")), QStringLiteral("-s"),
            dir.filePath(QStringLiteral("cups-files.conf")) });
    const auto answers = [this] {
        QLocalSocket probe;
        probe.connectToServer(socket());
        return probe.waitForConnected(100);
    };
    m_started = m_cupsd.waitForStarted(5000)
        && QTest::qWaitFor([&] { return answers() || m_cupsd.state() != QProcess::Running; }, 15000)
        && m_cupsd.state() == QProcess::Running;
    if (!m_started) {
        m_whyNot = QStringLiteral("a private cupsd did not start: ")
            + QString::fromLocal8Bit(TestFiles::readAll(dir.filePath(QStringLiteral("log/error_log")))).right(400);
        stop();
        return;
    }
    qputenv("CUPS_SERVER", QFile::encodeName(socket()));
}

PrivateCups::~PrivateCups()
{
    stop();
}

void PrivateCups::stop()
{
    if (m_cupsd.state() == QProcess::NotRunning)
        return;
    m_cupsd.terminate();
    if (!m_cupsd.waitForFinished(10000)) {
        m_cupsd.kill();
        m_cupsd.waitForFinished(5000);
    }
}

bool PrivateCups::tool(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, QStringList { QStringLiteral("-h"), socket() } + arguments);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PrivateCups::addQueue(const QString& name)
{
    return tool(QStringLiteral("lpadmin"),
        { QStringLiteral("-p"), name, QStringLiteral("-v"),
            QStringLiteral("file://") + m_dir.filePath(name + QStringLiteral(".out")), QStringLiteral("-E") });
}

std::optional<PrivateCups::Job> PrivateCups::job(int id, int timeoutMs) const
{
    const QString number = QStringLiteral("%1").arg(id, 5, 10, QLatin1Char('0'));
    const QString control = m_dir.filePath(QStringLiteral("spool/c") + number);
    const QString document = m_dir.filePath(QStringLiteral("spool/d") + number + QStringLiteral("-001"));
    if (!QTest::qWaitFor([&] { return QFile::exists(control) && QFile::exists(document); }, timeoutMs))
        return std::nullopt;
    Job job;
    job.document = TestFiles::readAll(document);
    // The control file holds the job's IPP attributes: integer tag, name length, name, value length, value.
    const QByteArray attributes = TestFiles::readAll(control);
    const QByteArray copies = QByteArray::fromRawData("\x21\x00\x06"
                                                      "copies\x00\x04",
        11);
    const qsizetype at = attributes.indexOf(copies);
    if (at >= 0 && at + copies.size() + 4 <= attributes.size())
        job.copies = qFromBigEndian<qint32>(attributes.constData() + at + copies.size());
    return job;
}
