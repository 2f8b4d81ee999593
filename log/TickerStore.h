#pragma once

#include <QByteArray>
#include <QDate>
#include <QObject>

#include <functional>

class AppContext;

// The station's log on disk, kept by the station itself with or without a window: each ticker
// message becomes a line of ticker.dat, and clearing the ticker moves the file to the day's
// archive in Ablage (see TickerFile). Whatever shows the lines follows its signals.
class TickerStore : public QObject {
    Q_OBJECT

public:
    explicit TickerStore(AppContext& ctx, QObject* parent = nullptr);

    // A "WACHALARM_TICKER" message, stored as a new line; dropped when the file cannot be written.
    void store(const QString& message);
    // A "WACHALARM_DEL" message: archived, then deleted; kept when the archive cannot be written.
    void clear();

    // The day whose archive file clear() appends to: the current date unless set otherwise.
    std::function<QDate()> today = [] { return QDate::currentDate(); };

signals:
    // A line as it stands in the file, without its line end.
    void stored(const QByteArray& line);
    // The ticker was cleared (or could not be): the file holds what is to be shown now.
    void cleared();

private:
    AppContext& m_ctx;
};
