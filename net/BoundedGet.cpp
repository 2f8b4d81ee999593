#include "net/BoundedGet.h"

#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

namespace {

// What the reply may hold unread: the body is taken out at every readyRead, so this only bounds
// one step. Reading as the bytes come also keeps the transfer going: a reply whose buffer is left
// full holds the rest of the body back, short of any cap, until its idle limit.
constexpr qint64 kReadStep = 1024 * 1024;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

QString BoundedGet::Result::reason() const
{
    switch (failure) {
    case Failure::None:
        return {};
    case Failure::Network:
        return networkError;
    case Failure::Status:
        return QStringLiteral("HTTP status %1").arg(status);
    case Failure::OverCap:
        return QStringLiteral("answer larger than %1 bytes").arg(limits.maximumBytes);
    case Failure::TimeLimit:
        return limits.totalMs > 0 ? QStringLiteral("no whole answer within %1 s").arg(limits.totalMs / 1000.0)
                                  : QStringLiteral("nothing received for %1 s").arg(limits.idleMs / 1000.0);
    case Failure::TooManyRedirects:
        return QStringLiteral("more than %1 redirects").arg(MaximumRedirects);
    case Failure::OtherHost:
        return QStringLiteral("redirect to another host (%1) not followed").arg(otherHost);
    }
    return {};
}

BoundedGet::BoundedGet(QNetworkAccessManager* network, const QNetworkRequest& request, Limits limits, QObject* parent)
    : QObject(parent)
    , m_network(network)
    , m_request(request)
    , m_limits(limits)
    , m_host(request.url().host())
    , m_total(new QTimer(this))
{
    m_result.limits = limits;
    m_request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (limits.idleMs > 0)
        m_request.setTransferTimeout(limits.idleMs);
    m_total->setSingleShot(true);
    connect(m_total, &QTimer::timeout, this, [this] { finish(Failure::TimeLimit); });
    if (limits.totalMs > 0)
        m_total->start(limits.totalMs);
    send(request.url());
}

BoundedGet::~BoundedGet()
{
    dropReply();
}

void BoundedGet::send(const QUrl& url)
{
    m_body.clear();
    m_request.setUrl(url);
    QNetworkReply* reply = m_network->get(m_request);
    m_reply = reply;
    reply->setReadBufferSize(std::min(m_limits.maximumBytes + 1, kReadStep));
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (announced.isValid() && announced.toLongLong() > m_limits.maximumBytes)
            finish(Failure::OverCap);
    });
    connect(reply, &QNetworkReply::readyRead, this, &BoundedGet::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &BoundedGet::onFinished);
}

void BoundedGet::onReadyRead()
{
    if (!m_reply)
        return;
    m_body += m_reply->read(m_limits.maximumBytes + 1 - m_body.size());
    if (m_body.size() > m_limits.maximumBytes)
        finish(Failure::OverCap);
}

void BoundedGet::onFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    onReadyRead();
    if (m_done)
        return;
    m_result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    m_result.fromCache = reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool();
    m_result.cacheHeaders = reply->hasRawHeader("Cache-Control") || reply->hasRawHeader("Expires");
    m_result.finalUrl = reply->url();
    if (isRedirect(m_result.status)) {
        const QUrl target
            = reply->url().resolved(reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
        if (m_redirects >= MaximumRedirects)
            return finish(Failure::TooManyRedirects);
        if (target.host().compare(m_host, Qt::CaseInsensitive) != 0
            || (target.scheme() != QLatin1String("http") && target.scheme() != QLatin1String("https"))) {
            m_result.otherHost = target.host();
            return finish(Failure::OtherHost);
        }
        ++m_redirects;
        dropReply();
        send(target);
        return;
    }
    if (reply->error() == QNetworkReply::OperationCanceledError) // only the idle limit cancels from inside
        return finish(Failure::TimeLimit);
    if (m_result.status != 0 && (m_result.status < 200 || m_result.status > 299))
        return finish(Failure::Status);
    if (reply->error() != QNetworkReply::NoError) {
        m_result.networkError
            = QString::fromLatin1(QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(reply->error()));
        return finish(Failure::Network);
    }
    m_result.body = std::exchange(m_body, {});
    finish(Failure::None);
}

void BoundedGet::finish(Failure failure)
{
    if (m_done)
        return;
    m_done = true;
    m_total->stop();
    dropReply();
    m_result.failure = failure;
    if (failure != Failure::None)
        m_result.body.clear();
    emit finished(m_result);
}

void BoundedGet::stop()
{
    m_done = true;
    m_total->stop();
    dropReply();
}

void BoundedGet::drop(BoundedGet* get)
{
    if (get) {
        get->stop();
        get->deleteLater();
    }
}

void BoundedGet::dropReply()
{
    if (QNetworkReply* reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        if (reply->isRunning())
            reply->abort();
        reply->deleteLater();
    }
}
