#pragma once

#include <QDate>
#include <QString>

#include <functional>

class AppContext;
class TickerModel;

// The station's log: the ticker file in the data folder and the documentation list's rows over it.
// The file is the only store: the rows are read from it at start-up and after the ticker is
// cleared; in between, each stored message adds its row.
class TickerLog {
public:
    TickerLog(AppContext& ctx, TickerModel& model);

    // A "WACHALARM_TICKER" message: stored whole as a new line of the ticker file, then its row is
    // added to the list. When the file cannot be written the message is dropped and the list stays
    // as it is.
    void HandleTickerMessage(const QString& message);

    // A "WACHALARM_DEL" message: the ticker file is appended to the archive file of the day in
    // Ablage and deleted, then the list is rebuilt (empty). When the archive cannot be written the
    // ticker file is kept, so that the station's log is never lost.
    void DeleteTicker();

    // Rebuilds the list from the ticker file; no file leaves it empty.
    void lese_ticker();

    // The day whose archive file DeleteTicker appends to: the current date unless set otherwise.
    std::function<QDate()> today = [] { return QDate::currentDate(); };

private:
    AppContext& m_ctx;
    TickerModel& m_model;
};
