#include "crew/CrewDesk.h"

#include "alarm/AlarmRows.h"
#include "common/Twips.h"
#include "crew/CrewWatch.h"
#include "crew/VehicleBoard.h"
#include "crew/VehicleBoardView.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTableWidget>

CrewDesk::CrewDesk(QWidget* bar, QTableWidget* statusList, QTableWidget* pagerList, QObject* parent)
    : QObject(parent)
    , m_statusList(statusList)
    , m_pagerList(pagerList)
{
    m_line = new QLabel(bar);
    m_line->setObjectName(QStringLiteral("lbl_Staerke"));
    // Between the history's button and the clear button, the bar's whole height for its two lines,
    // in the buttons' type.
    m_line->setGeometry(twipsRect(6120, 15, 3540, 705));
    m_line->setAlignment(Qt::AlignCenter);
    m_line->setTextFormat(Qt::PlainText);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(10);
    font.setBold(true);
    m_line->setFont(font);

    statusList->installEventFilter(this);
    pagerList->installEventFilter(this);
    m_pagerViewport = pagerList->viewport();
    m_pagerViewport->installEventFilter(this);
}

void CrewDesk::show(CrewWatch& watch, VehicleBoard& board, bool names)
{
    m_names = names;
    if (m_watch != &watch) {
        m_watch = &watch;
        connect(m_watch, &CrewWatch::strengthChanged, this, &CrewDesk::showStrength);
        showStrength(m_watch->strength());
    }
    if (!m_view || &m_view->board() != &board) {
        delete m_view;
        m_view = new VehicleBoardView(board, m_statusList->parentWidget());
        // Tiles in type as large as the status list's place lets them all in, as on the wall.
        m_view->setFont(QFont(QStringLiteral("Liberation Sans")));
        m_view->setFilling(true);
        m_view->hide();
    }
}

void CrewDesk::toggleBoard()
{
    if (!m_view)
        return;
    m_view->setGeometry(m_statusList->geometry());
    m_view->setVisible(!m_view->isVisible());
    m_view->raise();
}

void CrewDesk::showStrength(const Strength::Count& count)
{
    m_line->setText(count.text(m_watch->settings()));
    // A tool tip shows markup: the names go in as plain text.
    const QString people = m_names ? count.peopleText() : QString();
    m_line->setToolTip(
        people.isEmpty() ? QString() : QStringLiteral("<pre>") + people.toHtmlEscaped() + QStringLiteral("</pre>"));
}

bool CrewDesk::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::Move && type != QEvent::Resize && type != QEvent::Show && type != QEvent::FontChange)
        return QObject::eventFilter(watched, event);
    if (watched == m_statusList && m_view && type != QEvent::Show && type != QEvent::FontChange)
        m_view->setGeometry(m_statusList->geometry());
    if ((watched == m_pagerList || watched == m_pagerViewport) && type != QEvent::Move)
        fitPagerColumns();
    return QObject::eventFilter(watched, event);
}

void CrewDesk::fitPagerColumns()
{
    // The answer column takes its widest word; the name column gives way.
    const QFontMetrics metrics(m_pagerList->font());
    int answer = metrics.horizontalAdvance(QStringLiteral("St"));
    for (int code = -1; code <= 4; ++code)
        answer = std::max(answer, metrics.horizontalAdvance(AlarmRows::feedbackForCode(code).word));
    answer += 2 * m_pagerList->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
    const int room = m_pagerList->viewport()->width();
    m_pagerList->setColumnWidth(AlarmRows::kFeedbackColumn, answer);
    m_pagerList->setColumnWidth(0, std::max(0, room - answer));
}
