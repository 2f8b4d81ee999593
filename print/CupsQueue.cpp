#include "print/CupsQueue.h"

#include <QDeadlineTimer>

#include <cups/cups.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace CupsQueue {

namespace {

// What libcups last reported on this thread; a broken connection reads "Success" there.
QString lastError(http_t* http, const QString& server)
{
    if (cupsLastError() == IPP_STATUS_ERROR_INTERNAL && httpGetStatus(http) == HTTP_STATUS_ERROR)
        return QStringLiteral("the connection to the CUPS scheduler %1 broke off (%2)")
            .arg(server, qt_error_string(httpError(http)));
    return QStringLiteral("CUPS: ") + QString::fromUtf8(cupsLastErrorString());
}

// libcups asks this whenever a wait on the connection has lasted one slice without an answer.
struct Deadline {
    QDeadlineTimer timer;
    const std::atomic_bool* abandon = nullptr;
    bool expired = false;
};

int keepWaiting(http_t*, void* data)
{
    auto* deadline = static_cast<Deadline*>(data);
    if (deadline->timer.hasExpired() || (deadline->abandon && deadline->abandon->load())) {
        deadline->expired = true;
        return 0;
    }
    return 1;
}

struct Queue {
    QByteArray name;
    bool stopped = false;
};

// The queue's name and state, asked on the connection itself: cupsGetNamedDest would look for an
// unknown name on the network through a connection of its own, which no time limit covers.
std::optional<Queue> findQueue(http_t* http, const QString& printer)
{
    static const char* const wanted[] = { "printer-name", "printer-state" };
    if (printer.isEmpty()) {
        // The default printer: the user's (LPDEST, lpoptions) or the scheduler's.
        cups_dest_t* dest = cupsGetNamedDest(http, nullptr, nullptr);
        if (!dest)
            return std::nullopt;
        const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
        Queue queue { dest->name, state && qstrcmp(state, "5") == 0 };
        cupsFreeDests(1, dest);
        return queue;
    }
    const QByteArray name = printer.toUtf8();
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
        name.constData());
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, wanted);
    std::unique_ptr<ipp_t, decltype(&ippDelete)> response(cupsDoRequest(http, request, "/"), &ippDelete);
    if (!response || ippGetStatusCode(response.get()) > IPP_STATUS_OK_EVENTS_COMPLETE)
        return std::nullopt;
    Queue queue { name };
    if (const char* canonical
        = ippGetString(ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME), 0, nullptr))
        queue.name = canonical;
    queue.stopped
        = ippGetInteger(ippFindAttribute(response.get(), "printer-state", IPP_TAG_ENUM), 0) == IPP_PSTATE_STOPPED;
    return queue;
}

// A name as the journal can show it: control characters as \xNN.
QString shown(const QString& name)
{
    QString text;
    for (const QChar c : name)
        text += c.category() == QChar::Other_Control ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                                                     : QString(c);
    return text;
}

} // namespace

bool isQueueName(const QString& name)
{
    for (const QChar c : name) {
        if (!c.isPrint() || c.isSpace() || c == QLatin1Char('/') || c == QLatin1Char('#'))
            return false;
    }
    return name.toUtf8().size() <= 127;
}

QStringList queues(std::chrono::milliseconds timeLimit)
{
    QStringList names;
    Deadline deadline { QDeadlineTimer(timeLimit) };
    std::unique_ptr<http_t, decltype(&httpClose)> http(
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, int(timeLimit.count()), nullptr),
        &httpClose);
    if (!http)
        return names;
    httpSetTimeout(http.get(), std::min(0.5, double(timeLimit.count()) / 1000.0), keepWaiting, &deadline);
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http.get(), &dests);
    for (int i = 0; i < count; ++i) {
        if (!dests[i].instance)
            names.append(QString::fromUtf8(dests[i].name));
    }
    cupsFreeDests(count, dests);
    names.sort();
    names.removeDuplicates();
    return names;
}

Submission submit(const QString& printer, const QString& title, const QByteArray& pdf, int copies,
    std::chrono::milliseconds timeLimit, const std::atomic_bool* abandon)
{
    Submission result;
    result.queue = shown(printer);
    if (!isQueueName(printer)) {
        // Cut at the first byte CUPS cannot take, the name could be another printer's.
        result.failure = QStringLiteral("\"%1\" cannot be the name of a CUPS queue").arg(result.queue);
        return result;
    }
    Deadline deadline { QDeadlineTimer(timeLimit), abandon };
    const QString server = QString::fromUtf8(cupsServer());
    const auto failure = [&](const QString& otherwise) {
        if (abandon && abandon->load())
            return QStringLiteral("given up: the printout is ending");
        if (deadline.expired || deadline.timer.hasExpired())
            return QStringLiteral("the CUPS scheduler %1 did not answer within %2 s")
                .arg(server)
                .arg(double(timeLimit.count()) / 1000.0);
        return otherwise;
    };
    std::unique_ptr<http_t, decltype(&httpClose)> http(
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
            int(std::max<qint64>(1, deadline.timer.remainingTime())), nullptr),
        &httpClose);
    if (!http) {
        result.failure = failure(QStringLiteral("the CUPS scheduler %1 cannot be reached").arg(server));
        return result;
    }
    // Each wait is cut into slices; between them the deadline decides whether to go on.
    httpSetTimeout(http.get(), std::min(0.5, double(timeLimit.count()) / 1000.0), keepWaiting, &deadline);

    const std::optional<Queue> queue = findQueue(http.get(), printer);
    if (!queue) {
        const bool unknown
            = cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND || cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
        result.failure = failure(!unknown ? lastError(http.get(), server)
                : printer.isEmpty()       ? QStringLiteral("CUPS knows no default printer")
                                          : QStringLiteral("CUPS knows no such queue"));
        return result;
    }
    result.queue = QString::fromUtf8(queue->name);

    cups_option_t* options = nullptr;
    int numOptions = cupsAddOption("copies", QByteArray::number(copies).constData(), 0, &options);
    const QByteArray jobTitle = title.toUtf8();
    const char* name = queue->name.constData();
    const int job = cupsCreateJob(http.get(), name, jobTitle.constData(), numOptions, options);
    cupsFreeOptions(numOptions, options);
    if (job <= 0) {
        result.failure = failure(lastError(http.get(), server));
        return result;
    }
    bool sent
        = cupsStartDocument(http.get(), name, job, jobTitle.constData(), CUPS_FORMAT_PDF, 1) == HTTP_STATUS_CONTINUE;
    sent = sent && cupsWriteRequestData(http.get(), pdf.constData(), size_t(pdf.size())) == HTTP_STATUS_CONTINUE;
    // Ends the request either way, so that the connection can take the next one.
    sent = cupsFinishDocument(http.get(), name) == IPP_STATUS_OK && sent;
    if (!sent) {
        result.failure = failure(lastError(http.get(), server));
        // A scheduler that stopped answering would not take the cancel either; it drops a job
        // whose document never came by itself.
        if (!deadline.expired)
            cupsCancelJob2(http.get(), name, job, 0);
        return result;
    }
    result.jobId = job;
    if (queue->stopped)
        result.notice = QStringLiteral("the printer is stopped; the job waits in its queue");
    return result;
}

QString check(const QString& printer, std::chrono::milliseconds timeLimit)
{
    if (!isQueueName(printer))
        return QStringLiteral("\"%1\" cannot be the name of a CUPS queue").arg(shown(printer));
    Deadline deadline { QDeadlineTimer(timeLimit) };
    const QString server = QString::fromUtf8(cupsServer());
    std::unique_ptr<http_t, decltype(&httpClose)> http(
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
            int(std::max<qint64>(1, deadline.timer.remainingTime())), nullptr),
        &httpClose);
    if (!http)
        return QStringLiteral("the CUPS scheduler %1 cannot be reached").arg(server);
    httpSetTimeout(http.get(), std::min(0.5, double(timeLimit.count()) / 1000.0), keepWaiting, &deadline);
    if (findQueue(http.get(), printer))
        return {};
    if (deadline.expired || deadline.timer.hasExpired())
        return QStringLiteral("the CUPS scheduler %1 did not answer within %2 s")
            .arg(server)
            .arg(double(timeLimit.count()) / 1000.0);
    if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND || cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE)
        return printer.isEmpty() ? QStringLiteral("CUPS knows no default printer")
                                 : QStringLiteral("CUPS knows no such queue");
    return lastError(http.get(), server);
}

} // namespace CupsQueue
