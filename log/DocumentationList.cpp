#include "log/DocumentationList.h"

#include "log/MarkupDelegate.h"
#include "log/TickerCells.h"
#include "log/TickerLog.h"
#include "log/TickerModel.h"
#include "log/TickerStore.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

const QColor DocumentationList::Background(135, 172, 207);
const QColor DocumentationList::HeaderBackground(106, 151, 192);
const QColor DocumentationList::Selection(119, 171, 254);
const QColor DocumentationList::AlternateBackground(142, 174, 204);
const QColor DocumentationList::GridLines(102, 102, 102);

namespace {

QString rgb(const QColor& c)
{
    return QStringLiteral("rgb(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

} // namespace

DocumentationList::DocumentationList(AppContext& ctx, QTableView* view, QObject* parent)
    : QObject(parent)
    , m_view(view)
    , m_model(new TickerModel(this))
    , m_delegate(new MarkupDelegate(this))
    , m_log(std::make_unique<TickerLog>(ctx, *m_model))
    , m_fitTimer(new QTimer(this))
{
    m_fitTimer->setSingleShot(true);
    m_fitTimer->setInterval(0);
    connect(m_fitTimer, &QTimer::timeout, this, &DocumentationList::fitVisibleRows);

    m_view->setModel(m_model);
    m_view->setItemDelegate(m_delegate);
    connect(m_model, &QAbstractItemModel::modelReset, this, &DocumentationList::scheduleFit);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &DocumentationList::scheduleFit);
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, &DocumentationList::scheduleFit);
    connect(m_view->horizontalHeader(), &QHeaderView::sectionResized, this, &DocumentationList::scheduleFit);
    connect(m_view->horizontalHeader(), &QHeaderView::sectionClicked, this, &DocumentationList::onHeaderClicked);
    m_viewport = m_view->viewport();
    m_view->viewport()->installEventFilter(this);

    InitDocumentationList();
}

DocumentationList::~DocumentationList() = default;

void DocumentationList::InitDocumentationList()
{
    m_view->setFont(QFont(QStringLiteral("Arial"), 8));
    m_view->setStyleSheet(
        QStringLiteral("QTableView { background-color: %1; alternate-background-color: %2;"
                       " gridline-color: %3; selection-background-color: %4;"
                       " selection-color: black; color: black; }"
                       " QHeaderView::section { background-color: %5; color: black;"
                       " border: 0px; border-right: 1px solid %3; border-bottom: 1px solid %3;"
                       " padding: 1px 2px; }"
                       " QHeaderView::down-arrow, QHeaderView::up-arrow { width: 7px; height: 5px; }")
            .arg(rgb(Background), rgb(AlternateBackground), rgb(GridLines), rgb(Selection), rgb(HeaderBackground)));
    m_view->setAlternatingRowColors(true);
    m_view->setShowGrid(true);
    m_view->setWordWrap(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    QHeaderView* rows = m_view->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Interactive);
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(DefaultRowHeight);

    QHeaderView* columns = m_view->horizontalHeader();
    columns->show();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setStretchLastSection(false);
    columns->setHighlightSections(false);
    columns->setSectionsClickable(true);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setFixedHeight(HeaderHeight);
    columns->setSortIndicatorShown(true);
    columns->setSortIndicator(m_model->sortColumn(), m_model->sortOrder());
    setColumnWidths();
}

void DocumentationList::setColumnWidths()
{
    static constexpr int fixedWidths[4] = { 30, 70, 100, 100 };
    QHeaderView* columns = m_view->horizontalHeader();
    int sum = 0;
    for (int i = 0; i < 4; ++i) {
        columns->resizeSection(i, fixedWidths[i]);
        sum += columns->sectionSize(i);
    }
    const int rest = m_view->width() - sum - 20;
    if (rest > 0)
        columns->resizeSection(TickerCells::Text, rest);
}

void DocumentationList::HandleTickerMessage(const QString& message)
{
    m_log->HandleTickerMessage(message);
}

void DocumentationList::DeleteTicker()
{
    m_log->DeleteTicker();
}

void DocumentationList::lese_ticker()
{
    m_log->lese_ticker();
}

void DocumentationList::onHeaderClicked(int column)
{
    QHeaderView* columns = m_view->horizontalHeader();
    if (TickerModel::isSortable(column)) {
        // A first click on a column orders it newest first, a further click turns the order round.
        Qt::SortOrder order = Qt::DescendingOrder;
        if (column == m_model->sortColumn())
            order = m_model->sortOrder() == Qt::DescendingOrder ? Qt::AscendingOrder : Qt::DescendingOrder;
        m_model->sort(column, order);
    }
    columns->setSortIndicator(m_model->sortColumn(), m_model->sortOrder());
}

void DocumentationList::scheduleFit()
{
    m_fitTimer->start();
}

void DocumentationList::fitVisibleRows()
{
    const int rowCount = m_model->rowCount();
    const int first = m_view->rowAt(0);
    if (rowCount == 0 || first < 0)
        return;
    QHeaderView* rows = m_view->verticalHeader();
    QHeaderView* columns = m_view->horizontalHeader();
    const int viewportHeight = m_view->viewport()->height();
    QStyleOptionViewItem option;
    option.initFrom(m_view);
    option.font = m_view->font();
    int y = 0;
    for (int row = first; row < rowCount && y < viewportHeight; ++row) {
        int height = 1;
        for (int column = 0; column < TickerCells::ColumnCount; ++column) {
            if (columns->isSectionHidden(column))
                continue;
            height = std::max(
                height, m_delegate->heightFor(option, m_model->index(row, column), columns->sectionSize(column)));
        }
        // The grid line takes one pixel of the row.
        height += m_view->showGrid() ? 1 : 0;
        if (rows->sectionSize(row) != height)
            rows->resizeSection(row, height);
        y += height;
    }
}

bool DocumentationList::eventFilter(QObject* watched, QEvent* event)
{
    // The viewport as it was when watched: the view may be half destroyed when its children go.
    if (event->type() == QEvent::Resize && watched == m_viewport)
        scheduleFit();
    return QObject::eventFilter(watched, event);
}

void DocumentationList::follow(TickerStore& store)
{
    connect(&store, &TickerStore::stored, m_model, [model = m_model](const QByteArray& line) { model->addLine(line); });
    connect(&store, &TickerStore::cleared, this, &DocumentationList::lese_ticker);
}
