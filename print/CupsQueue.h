#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>

// Hands a PDF to CUPS through libcups, on the connection CUPS_SERVER (or the client
// configuration) names. Blocks while it talks to the scheduler: call it from a worker thread.
namespace CupsQueue {

// The longest one submission may take, from the connection to the job's last byte.
inline constexpr std::chrono::milliseconds kTimeLimit { 30000 };

struct Submission {
    int jobId = 0; // 0: not accepted
    QString queue; // the queue it went to (the default printer's name when none was given)
    QString failure; // why it was not accepted; empty on success
    QString notice; // accepted, but the job waits: the printer is stopped
};

// Whether a name can be a CUPS queue: printable, without blanks, '/' or '#', at most 127 bytes.
[[nodiscard]] bool isQueueName(const QString& name);

// The queues the scheduler lists (the names of cupsGetDests, without instances), sorted; empty
// when the scheduler cannot be reached within `timeLimit`. Blocks: call it from a worker thread.
[[nodiscard]] QStringList queues(std::chrono::milliseconds timeLimit = std::chrono::milliseconds(5000));

// One job of `copies` copies. An empty printer means CUPS's default printer. Never retries.
// Every call to the scheduler together takes at most `timeLimit`; a scheduler that accepts the
// connection and never answers is given up after it. `abandon`, when set, gives up at once.
[[nodiscard]] Submission submit(const QString& printer, const QString& title, const QByteArray& pdf, int copies,
    std::chrono::milliseconds timeLimit = kTimeLimit, const std::atomic_bool* abandon = nullptr);

// Why `printer` (empty: CUPS's default printer) could not take a job now: no scheduler, no such
// queue, no default printer; empty when it could. Asks the scheduler, for at most `timeLimit`.
[[nodiscard]] QString check(const QString& printer, std::chrono::milliseconds timeLimit = std::chrono::seconds(5));

} // namespace CupsQueue
