#include "app/LinkWarning.h"

#include <QFont>

LinkWarning::LinkWarning(QWidget* parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("LinkWarning"));
    setAlignment(Qt::AlignCenter);
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setStyleSheet(QStringLiteral("background-color: #d00000; color: white; border: 4px solid #700000;"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    m_delay.setSingleShot(true);
    connect(&m_delay, &QTimer::timeout, this, &LinkWarning::showBand);
}

void LinkWarning::setDelaySeconds(int seconds)
{
    m_delaySeconds = seconds;
    if (m_down)
        linkStatus(false);
}

void LinkWarning::linkStatus(bool connected)
{
    if (connected) {
        m_down = false;
        m_delay.stop();
        m_downSince = QDateTime();
        hide();
        return;
    }
    if (!m_down)
        m_downSince = QDateTime::currentDateTime();
    m_down = true;
    if (m_delaySeconds <= 0) {
        m_delay.stop();
        hide();
        return;
    }
    if (isHidden()) {
        const qint64 left = qint64(m_delaySeconds) * 1000 - m_downSince.msecsTo(QDateTime::currentDateTime());
        m_delay.start(int(qMax<qint64>(0, left)));
    }
}

void LinkWarning::place(QSize client, const QRect& area)
{
    // A fifth of the window's height, across the middle of its area, in type a third of that high
    // and narrow enough for the text to wrap into the band.
    const QRect across = area.isValid() ? area : QRect(QPoint(), client);
    const int height = qMin(across.height(), qMax(40, client.height() / 5));
    setGeometry(across.left(), across.top() + (across.height() - height) / 2, across.width(), height);
    QFont big = font();
    big.setBold(true);
    big.setPixelSize(qMax(12, qMin(height / 3, across.width() / 14)));
    setFont(big);
}

void LinkWarning::showBand()
{
    setText(
        QStringLiteral("Keine Verbindung zur Leitstelle seit %1").arg(m_downSince.toString(QStringLiteral("HH:mm"))));
    raise();
    show();
}
