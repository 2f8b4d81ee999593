#pragma once

#include "history/HistoryReader.h"

#include <QDialog>

#include <array>

class HistoryModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;

// The bar chart above the list: the chosen year's station alarms per month.
class MonthChart : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    void setCounts(const std::array<int, 12>& counts);
    [[nodiscard]] const std::array<int, 12>& counts() const { return m_counts; }
    [[nodiscard]] QSize sizeHint() const override { return { 600, 140 }; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<int, 12> m_counts {};
};

// The window "Einsätze": the stored alarms of a year, newest first, a search that narrows them as
// one types, the chart, and the CSV export of the rows shown. Its footer counts the station and the
// unit alarms shown, each by name, and says why "Drucken" printed nothing. Enter or a double click hands the
// alarm of the row on; Esc closes the window.
class HistoryView : public QDialog {
    Q_OBJECT

public:
    explicit HistoryView(const QString& path, QWidget* parent = nullptr);
    ~HistoryView() override;

    // Reads the years and the chosen year's alarms anew.
    void reload();

    [[nodiscard]] HistoryModel& model() const { return *m_model; }
    // Where the export writes; asks the operator unless set (tests).
    std::function<QString()> exportPath;
    // Whether print.ini is in force; "Drucken" prints nothing without it.
    std::function<bool()> printable;

signals:
    void alarmChosen(const HistoryAlarm& alarm);
    // "Drucken": the station alarm of the selected row, to be printed again.
    void printRequested(const HistoryAlarm& alarm);

private:
    void loadYear();
    void choose(const QModelIndex& index);
    [[nodiscard]] std::optional<HistoryAlarm> alarmAt(const QModelIndex& index);
    void exportRows();
    void showCount();
    void print();

    HistoryReader m_reader;
    QString m_folder; // the data folder

    HistoryModel* m_model = nullptr;
    QLineEdit* m_search = nullptr;
    QComboBox* m_year = nullptr;
    MonthChart* m_chart = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_status = nullptr;
};
