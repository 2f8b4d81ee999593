#include "history/HistoryView.h"

#include "history/HistoryModel.h"
#include "print/PrintSettings.h"

#include <QComboBox>
#include <QDate>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const char* const kMonths[] = { "Jan", "Feb", "Mär", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez" };
const int kColumnWidths[] = { 95, 60, 200, 330, 330 };

} // namespace

void MonthChart::setCounts(const std::array<int, 12>& counts)
{
    m_counts = counts;
    update();
}

void MonthChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const int most = std::max(1, *std::max_element(m_counts.begin(), m_counts.end()));
    const int line = fontMetrics().height();
    const double slot = width() / 12.0;
    const int chartHeight = height() - 2 * line - 6;
    for (int m = 0; m < 12; ++m) {
        const int barHeight = int(double(chartHeight) * m_counts[m] / most);
        const QRect slotRect(int(m * slot), 0, int(slot), height());
        const QRect bar(
            slotRect.left() + int(slot * 0.2), line + 3 + chartHeight - barHeight, int(slot * 0.6), barHeight);
        p.fillRect(bar, QColor(0xC0, 0x30, 0x20));
        p.setPen(palette().color(QPalette::Text));
        p.drawText(QRect(slotRect.left(), bar.top() - line - 1, slotRect.width(), line), Qt::AlignCenter,
            QString::number(m_counts[m]));
        p.drawText(QRect(slotRect.left(), height() - line, slotRect.width(), line), Qt::AlignCenter,
            QString::fromUtf8(kMonths[m]));
    }
}

HistoryView::HistoryView(const QString& path, QWidget* parent)
    : QDialog(parent)
    , m_reader(path)
    , m_folder(QFileInfo(path).absolutePath())
    , m_model(new HistoryModel(this))
{
    setObjectName(QStringLiteral("HistoryView"));
    setWindowTitle(QStringLiteral("Einsätze"));
    resize(1150, 760);

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setPlaceholderText(QStringLiteral("Suchen: Stichwort, Adresse, Vermerk, Einheiten"));
    m_search->setClearButtonEnabled(true);
    m_year = new QComboBox(this);
    m_year->setObjectName(QStringLiteral("year"));
    auto* exportButton = new QPushButton(QStringLiteral("Exportieren…"), this);
    exportButton->setObjectName(QStringLiteral("export"));
    auto* printButton = new QPushButton(QStringLiteral("Drucken"), this);
    printButton->setObjectName(QStringLiteral("print"));
    auto* closeButton = new QPushButton(QStringLiteral("Schließen"), this);
    for (QPushButton* b : { exportButton, printButton, closeButton })
        b->setAutoDefault(false);
    m_chart = new MonthChart(this);
    m_chart->setMinimumHeight(120);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("list"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // A hundred thousand rows: every row of one height, no column measured against its contents.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < int(std::size(kColumnWidths)); ++c)
        m_table->setColumnWidth(c, kColumnWidths[c]);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));

    auto* top = new QHBoxLayout;
    top->addWidget(m_search, 1);
    top->addWidget(m_year);
    top->addWidget(exportButton);
    top->addWidget(printButton);
    top->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_chart);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);

    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_model->setSearch(text);
        showCount();
    });
    connect(m_search, &QLineEdit::returnPressed, this, [this] {
        m_table->setFocus();
        m_table->selectRow(0);
    });
    connect(m_year, &QComboBox::activated, this, &HistoryView::loadYear);
    connect(m_table, &QTableView::activated, this, &HistoryView::choose);
    connect(exportButton, &QPushButton::clicked, this, &HistoryView::exportRows);
    connect(printButton, &QPushButton::clicked, this, &HistoryView::print);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
}

HistoryView::~HistoryView() = default;

void HistoryView::reload()
{
    const QVariant chosen = m_year->currentData();
    m_year->clear();
    if (!m_reader.open()) {
        m_model->setRows({});
        m_status->setText(QStringLiteral("Die Einsätze können nicht gelesen werden: ") + m_reader.lastError());
        return;
    }
    QList<int> years = m_reader.years();
    if (!years.contains(QDate::currentDate().year()))
        years.prepend(QDate::currentDate().year());
    std::sort(years.rbegin(), years.rend());
    for (int year : years)
        m_year->addItem(QString::number(year), year);
    m_year->addItem(QStringLiteral("Alle Jahre"), 0);
    const int index = chosen.isValid() ? m_year->findData(chosen) : m_year->findData(QDate::currentDate().year());
    m_year->setCurrentIndex(std::max(0, index));
    loadYear();
}

void HistoryView::loadYear()
{
    const int year = m_year->currentData().toInt();
    m_model->setRows(m_reader.rows(year > 0 ? std::optional(year) : std::nullopt));
    m_chart->setCounts(m_model->alarmsPerMonth());
    showCount();
    m_table->setFocus();
    if (m_model->rowCount() > 0)
        m_table->selectRow(0);
}

void HistoryView::showCount()
{
    int station = 0;
    int test = 0;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        station += m_model->rowAt(row).counted() ? 1 : 0;
        test += m_model->rowAt(row).test ? 1 : 0;
    }
    const int unit = m_model->rowCount() - station - test;
    // Test alarms are named apart, and only where there are any: they are no alarms.
    m_status->setText((station == 1 ? QStringLiteral("1 Wachalarm") : QStringLiteral("%1 Wachalarme").arg(station))
        + QStringLiteral(", ")
        + (unit == 1 ? QStringLiteral("1 Einheitenalarm") : QStringLiteral("%1 Einheitenalarme").arg(unit))
        + (test == 0        ? QString()
                : test == 1 ? QStringLiteral(", 1 Probealarm")
                            : QStringLiteral(", %1 Probealarme").arg(test)));
}

void HistoryView::print()
{
    const std::optional<HistoryAlarm> alarm = alarmAt(m_table->currentIndex());
    if (!alarm) {
        m_status->setText(QStringLiteral("Nicht gedruckt: kein Wachalarm gewählt"));
        return;
    }
    if (!printable || !printable()) {
        m_status->setText(
            QStringLiteral("Nicht gedruckt: im Datenordner fehlt %1 (%2)").arg(PrintSettings::FileName, m_folder));
        return;
    }
    m_status->setText(QStringLiteral("Zum Drucken gegeben: Einsatz vom %1")
                          .arg(alarm->received.toString(QStringLiteral("dd.MM.yyyy HH:mm"))));
    emit printRequested(*alarm);
}

std::optional<HistoryAlarm> HistoryView::alarmAt(const QModelIndex& index)
{
    if (!index.isValid() || !m_model->rowAt(index.row()).station)
        return std::nullopt;
    return m_reader.alarm(m_model->rowAt(index.row()).id);
}

void HistoryView::choose(const QModelIndex& index)
{
    if (const std::optional<HistoryAlarm> alarm = alarmAt(index))
        emit alarmChosen(*alarm);
}

void HistoryView::exportRows()
{
    const int year = m_year->currentData().toInt();
    const QString path = exportPath
        ? exportPath()
        : QFileDialog::getSaveFileName(this, QStringLiteral("Einsätze exportieren"),
            QStringLiteral("Einsaetze-%1.csv").arg(year > 0 ? QString::number(year) : QStringLiteral("alle")),
            QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly)
        && m_reader.writeCsv(file, year > 0 ? std::optional(year) : std::nullopt, m_search->text()) && file.commit();
    m_status->setText(
        written ? QStringLiteral("Exportiert: ") + path : QStringLiteral("Export fehlgeschlagen: ") + path);
}
