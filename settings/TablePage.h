#pragma once

#include "settings/SettingsPage.h"

#include <QList>
#include <QStringList>

#include <functional>

class QLabel;
class QPushButton;
class QTableWidget;
class QVBoxLayout;

// A page that edits a file of rows as a table (the crew, the vehicles): a row is added and
// removed by its buttons, a cell edited in place. The file is written whole, readable by its owner
// only, and only when a cell differs from what was read.
class TablePage : public SettingsPage {
    Q_OBJECT

public:
    TablePage(const QString& path, const QStringList& headers, QWidget* parent = nullptr);

    [[nodiscard]] bool changed() const override;
    bool save(QString* error) override;

    [[nodiscard]] QTableWidget* table() const { return m_table; }
    [[nodiscard]] const QString& path() const { return m_path; }
    // Every row's cells, trimmed; rows with no text at all are left out.
    [[nodiscard]] QList<QStringList> rows() const;
    // Fills the table; `asRead` makes them what is in force (not a change).
    void setRows(const QList<QStringList>& rows, bool asRead);

    // The file picker of an import: the chosen path, or an empty text when the user cancels. The
    // platform's file dialog; tests answer here instead.
    std::function<QString(QWidget* parent)> pickFile;

protected:
    // The file's bytes for the rows.
    [[nodiscard]] virtual QByteArray bytesOf(const QList<QStringList>& rows) const = 0;
    [[nodiscard]] QVBoxLayout* column() const { return m_column; }
    // Says what the page last did or found, under the table.
    void say(const QString& text);

private:
    QString m_path;
    QTableWidget* m_table = nullptr;
    QVBoxLayout* m_column = nullptr;
    QLabel* m_said = nullptr;
    QList<QStringList> m_read;
};
