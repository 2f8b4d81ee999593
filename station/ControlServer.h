#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

// What the monitor answers a request of its control socket.
struct ControlAnswer {
    bool ok = false;
    QString text; // one or more lines, without the last line end
};

// The monitor's control socket, kessvenn.sock in the data folder, for a shell on the same computer
// (`kessvenn --test-alarm`, `kessvenn --status`). The socket is its owner's only (0600), and it is
// opened only in a data folder that no one else may write to, so that no other user can reach
// the monitor through it or put a socket of their own in its place.
//
// One request per connection: its name and a line end, at most kMostRequestBytes, within
// kRequestTime; the answer is "ok" or "fehler" on the first line, then its text, and the
// connection is closed. A request that is unknown, too long, not text or too slow gets a "fehler"
// line saying so; nothing a client sends does more.
class ControlServer : public QObject {
    Q_OBJECT

public:
    static inline const QString FileName = QStringLiteral("kessvenn.sock");
    static constexpr qsizetype kMostRequestBytes = 64;
    static constexpr std::chrono::milliseconds kRequestTime { 2000 };
    // Connections held at once; further ones are closed at once.
    static constexpr int kMostClients = 8;

    explicit ControlServer(QObject* parent = nullptr);
    ~ControlServer() override;

    // What answers the request `name` ("test-alarm", "status").
    void handle(const QString& name, std::function<ControlAnswer()> answer);

    // Opens kessvenn.sock in `dataFolder`, replacing one that a monitor that died left behind (the
    // data folder's lock says that no other monitor runs there). False, with the reason in the
    // journal, when the folder is not its owner's alone or the socket cannot be opened.
    bool listen(const QString& dataFolder);
    // The socket's path; empty while it is not open.
    [[nodiscard]] QString path() const;

    // The client's side: sends `request` to the monitor of `dataFolder` and waits at most `bound`
    // for the answer. None when no monitor answers on that data folder.
    [[nodiscard]] static std::optional<ControlAnswer> ask(
        const QString& dataFolder, const QString& request, std::chrono::milliseconds bound);

private:
    void take(QLocalSocket* client);
    void answer(QLocalSocket* client, const ControlAnswer& answer);

    QLocalServer* m_server = nullptr;
    QHash<QString, std::function<ControlAnswer()>> m_requests;
    int m_clients = 0;
};
