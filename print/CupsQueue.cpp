#include "print/CupsQueue.h"

#include <cups/cups.h>

namespace CupsQueue {

namespace {

QString lastError()
{
    return QString::fromUtf8(cupsLastErrorString());
}

// cupsGetNamedDest says nothing about why it found no queue: ask the scheduler directly.
bool reachable()
{
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000, nullptr);
    if (!http)
        return false;
    httpClose(http);
    return true;
}

} // namespace

Submission submit(const QString& printer, const QString& title, const QByteArray& pdf, int copies)
{
    Submission result;
    const QByteArray wanted = printer.toUtf8();
    // Finds the queue (or the default one) and learns its state in one request; it fails when
    // the scheduler cannot be reached or the queue does not exist.
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, wanted.isEmpty() ? nullptr : wanted.constData(), nullptr);
    if (!dest) {
        result.queue = printer;
        result.failure = reachable()
            ? (printer.isEmpty() ? QStringLiteral("CUPS knows no default printer")
                                 : QStringLiteral("CUPS knows no such queue"))
            : QStringLiteral("the CUPS scheduler %1 cannot be reached").arg(QString::fromUtf8(cupsServer()));
        return result;
    }
    result.queue = QString::fromUtf8(dest->name);
    const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
    const bool stopped = state && qstrcmp(state, "5") == 0;
    const QByteArray name = dest->name;
    cupsFreeDests(1, dest);

    cups_option_t* options = nullptr;
    int numOptions = cupsAddOption("copies", QByteArray::number(copies).constData(), 0, &options);
    const QByteArray jobTitle = title.toUtf8();
    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, name.constData(), jobTitle.constData(), numOptions, options);
    if (job <= 0) {
        cupsFreeOptions(numOptions, options);
        result.failure = lastError();
        return result;
    }
    bool sent = cupsStartDocument(CUPS_HTTP_DEFAULT, name.constData(), job, jobTitle.constData(), CUPS_FORMAT_PDF, 1)
        == HTTP_STATUS_CONTINUE;
    sent = sent && cupsWriteRequestData(CUPS_HTTP_DEFAULT, pdf.constData(), size_t(pdf.size())) == HTTP_STATUS_CONTINUE;
    // Ends the request either way, so that the connection can take the next one.
    sent = cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData()) == IPP_STATUS_OK && sent;
    cupsFreeOptions(numOptions, options);
    if (!sent) {
        result.failure = lastError();
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name.constData(), job, 0);
        return result;
    }
    result.jobId = job;
    if (stopped)
        result.notice = QStringLiteral("the printer is stopped; the job waits in its queue");
    return result;
}

} // namespace CupsQueue
