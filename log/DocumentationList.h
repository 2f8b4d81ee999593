#pragma once

#include <QObject>
#include <QString>

#include <memory>

class AppContext;
class MarkupDelegate;
class QTableView;
class QTimer;
class TickerLog;
class TickerModel;
class TickerStore;

// The documentation list List_Doku: the ticker's rows in a table view, painted from their markup,
// in the list's own palette, ordered by "Nr" or "Zeit" with a click on the heading. Only the rows
// that can be seen are measured: the others keep the default height until they scroll into view.
class DocumentationList : public QObject {
    Q_OBJECT

public:
    static constexpr int DefaultRowHeight = 40;
    static constexpr int HeaderHeight = 30;

    DocumentationList(AppContext& ctx, QTableView* view, QObject* parent = nullptr);
    ~DocumentationList() override;

    // Font Arial, the list's colours, the five columns and their widths.
    void InitDocumentationList();

    // Shows the lines that the station's log stores, and the log anew when it was cleared.
    void follow(TickerStore& store);

    // The ticker's operations (see TickerLog).
    void HandleTickerMessage(const QString& message);
    void DeleteTicker();
    void lese_ticker();

    // The column widths of the window layout: 30, 70, 100 and 100 pixels, and the rest of the
    // list's width less 20 for "Text".
    void setColumnWidths();

    // Sizes the rows in view to their content. Runs by itself after every change of the rows, the
    // scroll position, the view's size or a column's width.
    void fitVisibleRows();

    [[nodiscard]] TickerModel* model() const { return m_model; }
    [[nodiscard]] TickerLog& log() const { return *m_log; }
    [[nodiscard]] QTableView* view() const { return m_view; }

    // The list's colours.
    static const QColor Background;
    static const QColor HeaderBackground;
    static const QColor Selection;
    static const QColor AlternateBackground;
    static const QColor GridLines;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onHeaderClicked(int column);
    void scheduleFit();

    QTableView* m_view;
    const QObject* m_viewport = nullptr; // watched for its resizes
    TickerModel* m_model;
    MarkupDelegate* m_delegate;
    std::unique_ptr<TickerLog> m_log;
    QTimer* m_fitTimer;
};
