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

namespace {

const QString kNoLink = QStringLiteral("Keine Verbindung zur Leitstelle seit %1");

} // namespace

void LinkWarning::setDelaySeconds(int seconds)
{
    m_delaySeconds = seconds;
    showBand();
}

void LinkWarning::setPaths(const QList<PathStates::Path>& paths)
{
    QList<Trouble> troubles;
    for (const PathStates::Path& path : paths) {
        if (path.state == PathStates::State::Connected)
            continue;
        if (paths.size() == 1 && path.state == PathStates::State::Down)
            troubles.append({ kNoLink, path.since });
        else
            troubles.append(
                { path.name + QLatin1Char(' ') + PathStates::stateWord(path.state) + QStringLiteral(" seit %1"),
                    path.since });
    }
    setTroubles(troubles);
}

void LinkWarning::setTroubles(const QList<Trouble>& troubles)
{
    m_troubles = troubles;
    showBand();
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
    // Each trouble shows once it is as old as the set time; the timer waits for the next one.
    m_delay.stop();
    const QDateTime now = QDateTime::currentDateTime();
    QStringList texts;
    qint64 nextMs = -1;
    for (const Trouble& trouble : std::as_const(m_troubles)) {
        if (m_delaySeconds <= 0)
            break;
        const qint64 left = qint64(m_delaySeconds) * 1000 - trouble.since.msecsTo(now);
        if (left <= 0)
            texts << trouble.text.arg(trouble.since.toString(QStringLiteral("HH:mm")));
        else if (nextMs < 0 || left < nextMs)
            nextMs = left;
    }
    if (nextMs >= 0)
        m_delay.start(int(nextMs));
    if (texts.isEmpty()) {
        hide();
        return;
    }
    setText(texts.join(QLatin1Char('\n')));
    raise();
    show();
}
