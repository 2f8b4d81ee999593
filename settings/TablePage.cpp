#include "settings/TablePage.h"

#include "common/SafeFile.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

TablePage::TablePage(const QString& path, const QStringList& headers, QWidget* parent)
    : SettingsPage(parent)
    , m_path(path)
{
    pickFile = [](QWidget* parent) { return QFileDialog::getOpenFileName(parent); };
    m_column = new QVBoxLayout(this);
    m_table = new QTableWidget(0, int(headers.size()), this);
    m_table->setObjectName(QStringLiteral("table"));
    m_table->setHorizontalHeaderLabels(headers);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setMinimumHeight(300);
    m_column->addWidget(m_table, 1);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("Zeile hinzufügen"), this);
    auto* remove = new QPushButton(QStringLiteral("Zeile löschen"), this);
    add->setObjectName(QStringLiteral("add"));
    remove->setObjectName(QStringLiteral("remove"));
    for (QPushButton* button : { add, remove }) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    m_column->addLayout(buttons);
    m_said = new QLabel(this);
    m_said->setObjectName(QStringLiteral("said"));
    m_said->setTextFormat(Qt::PlainText);
    m_said->setWordWrap(true);
    m_column->addWidget(m_said);
    connect(add, &QPushButton::clicked, this, [this] {
        m_table->insertRow(m_table->rowCount());
        m_table->setCurrentCell(m_table->rowCount() - 1, 0);
        emit edited();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_table->currentRow() >= 0)
            m_table->removeRow(m_table->currentRow());
        emit edited();
    });
    connect(m_table, &QTableWidget::itemChanged, this, &SettingsPage::edited);
}

QList<QStringList> TablePage::rows() const
{
    QList<QStringList> rows;
    for (int r = 0; r < m_table->rowCount(); ++r) {
        QStringList cells;
        bool any = false;
        for (int c = 0; c < m_table->columnCount(); ++c) {
            const QTableWidgetItem* item = m_table->item(r, c);
            cells.append(item ? item->text().trimmed() : QString());
            any = any || !cells.last().isEmpty();
        }
        if (any)
            rows.append(cells);
    }
    return rows;
}

void TablePage::setRows(const QList<QStringList>& rows, bool asRead)
{
    const QSignalBlocker quiet(m_table);
    m_table->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < m_table->columnCount(); ++c)
            m_table->setItem(r, c, new QTableWidgetItem(rows[r].value(c)));
    }
    m_table->resizeColumnsToContents();
    if (asRead)
        m_read = this->rows();
    else
        emit edited();
}

bool TablePage::changed() const
{
    return rows() != m_read;
}

bool TablePage::save(QString* error)
{
    const QList<QStringList> now = rows();
    if (!ReplaceFileWhole(m_path, bytesOf(now), kOwnerOnlyFile)) {
        if (error)
            *error = QStringLiteral("%1 konnte nicht geschrieben werden (%2).").arg(title(), m_path);
        return false;
    }
    m_read = now;
    return true;
}

void TablePage::say(const QString& text)
{
    m_said->setText(text);
}
