#pragma once

#include <QByteArray>
#include <QString>

// Hands a PDF to CUPS through libcups, on the connection CUPS_SERVER (or the client
// configuration) names. Blocks while it talks to the scheduler: call it from a worker thread.
namespace CupsQueue {

struct Submission {
    int jobId = 0; // 0: not accepted
    QString queue; // the queue it went to (the default printer's name when none was given)
    QString failure; // why it was not accepted; empty on success
    QString notice; // accepted, but the job waits: the printer is stopped
};

// One job of `copies` copies. An empty printer means CUPS's default printer. Never retries.
[[nodiscard]] Submission submit(const QString& printer, const QString& title, const QByteArray& pdf, int copies);

} // namespace CupsQueue
