#pragma once

#include "link/MessageHandlers.h"
#include "paths/RadioAlarm.h"

#include <QByteArray>
#include <QObject>

#include <memory>
#include <vector>

class AlarmCore;
class AppContext;

// Every message of every path passes here before the alarm core: the dispatch hosts' links (each
// through the handlers of its path) and the radio pager decoder. What one path brings goes on to
// the core in the order it came.
class AlarmInbox : public QObject {
    Q_OBJECT

public:
    // The radio pager decoder's path number; dispatch hosts count from 0 (settings.dat's host).
    static constexpr int RadioPath = -1;

    AlarmInbox(AppContext& ctx, AlarmCore& core, QObject* parent = nullptr);
    ~AlarmInbox() override;

    // What the link of dispatch host `index` hands its messages to; lives as long as the inbox.
    [[nodiscard]] MessageHandlers& dispatchPath(int index);

    // A message of the radio path for one of the station's RICs.
    void takeRadioAlarm(const RadioAlarm& alarm);

signals:
    // A message of `path` was taken. `first` when no other path brought it before; `key` names the
    // message among its copies.
    void delivered(int path, const QByteArray& key, bool first);

private:
    class Path;
    AlarmCore& m_core;
    std::vector<std::unique_ptr<Path>> m_paths;
};
