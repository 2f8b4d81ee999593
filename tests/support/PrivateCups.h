#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

// A CUPS scheduler of the test's own: configuration, spool, logs and its listening socket in a
// temporary folder, CUPS_SERVER pointing at that socket for this process. Jobs and their
// documents stay in the spool, where the test reads what arrived. started() is false (and
// whyNot() says why) where no private cupsd can run.
class PrivateCups {
public:
    PrivateCups();
    ~PrivateCups();
    PrivateCups(const PrivateCups&) = delete;
    PrivateCups& operator=(const PrivateCups&) = delete;

    [[nodiscard]] bool started() const { return m_started; }
    [[nodiscard]] const QString& whyNot() const { return m_whyNot; }
    [[nodiscard]] QString socket() const { return m_dir.filePath(QStringLiteral("cups.sock")); }

    // Runs a CUPS tool (lpadmin, cupsdisable, cupsenable …) against this scheduler.
    bool tool(const QString& program, const QStringList& arguments);
    // A raw queue whose device is a file in the temporary folder.
    bool addQueue(const QString& name);
    void stop();

    struct Job {
        QByteArray document; // the bytes as they arrived
        int copies = 0;
    };
    // Job `id` with its first document, waiting for it up to `timeoutMs`.
    [[nodiscard]] std::optional<Job> job(int id, int timeoutMs = 10000) const;

private:
    QTemporaryDir m_dir;
    QProcess m_cupsd;
    bool m_started = false;
    QString m_whyNot;
};
