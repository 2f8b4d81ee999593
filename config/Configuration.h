#pragma once

#include "config/ConfigValues.h"

#include <QObject>

#include <array>
#include <optional>

// The station's configuration, owned by the Station: every file of the schema read, the values in
// force, and a `changed` notice for a file whose values changed. Consumers take typed values from
// here (the Station hands them on: DisplaySettings, MapConfig, RouteSettings, PrintSettings,
// HistorySettings, the settings.dat record) and never open a settings file themselves.
//
// A file that fails to load (unread: too large, no permission, no regular file) keeps the values in
// force before, whole, and says so in the journal. A change saved while an alarm is being
// announced is held and applies when the announcement has ended.
class Configuration : public QObject {
    Q_OBJECT

public:
    explicit Configuration(QObject* parent = nullptr);

    // Reads every file of `folder`; emits changed() for each file whose values differ.
    void load(const QString& folder);
    // Reads every file again (after the settings dialog, or when asked).
    void reload();

    [[nodiscard]] const QString& folder() const { return m_folder; }
    [[nodiscard]] const ConfigValues& values(ConfigFile file) const;

    // Writes the changed keys of `file` (key → text as it would stand in the file) through the safe
    // replace, owner only, keeping every other line; then the file is read again and applied (or
    // held until the announcement under way has ended). False with `error` in German words when the
    // file could not be written or a value cannot be used; the values in force then stay.
    bool save(ConfigFile file, const QList<std::pair<QString, QString>>& changes, QString* error = nullptr);

    // While held, reads and saves are kept back and applied at release (the Station holds it
    // during an alarm's announcement).
    void hold(bool held);

signals:
    void changed(ConfigFile file);

private:
    void apply(ConfigFile file, ConfigValues values);

    QString m_folder;
    std::array<ConfigValues, kConfigFileCount> m_values;
    bool m_held = false;
    std::array<std::optional<ConfigValues>, kConfigFileCount> m_pending; // read while held
};
