#include "config/Configuration.h"

#include "common/Log.h"
#include "common/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

qsizetype indexOf(ConfigFile file)
{
    return qsizetype(file);
}

// The values two readings give, whatever lines they stand on.
bool sameValues(const ConfigValues& a, const ConfigValues& b)
{
    if (a.present() != b.present())
        return false;
    for (const ConfigKey* schemaKey : configKeys(a.file())) {
        if (!schemaKey->pattern.isEmpty()) {
            const auto given = [&](const ConfigValues& values) {
                QList<std::pair<QString, QVariant>> pairs;
                for (const auto& [name, value] : values.matching(*schemaKey))
                    pairs.append({ name, value.value });
                return pairs;
            };
            if (given(a) != given(b))
                return false;
        } else if (a.at(schemaKey->key).value != b.at(schemaKey->key).value) {
            return false;
        }
    }
    return true;
}

} // namespace

Configuration::Configuration(QObject* parent)
    : QObject(parent)
{
    for (const ConfigFile file : configFiles())
        m_values[indexOf(file)] = ConfigValues(file);
}

void Configuration::load(const QString& folder)
{
    m_folder = folder;
    reload();
}

void Configuration::reload()
{
    for (const ConfigFile file : configFiles())
        apply(file, ConfigValues::read(m_folder, file));
}

const ConfigValues& Configuration::values(ConfigFile file) const
{
    return m_values[indexOf(file)];
}

bool Configuration::save(ConfigFile file, const QList<std::pair<QString, QString>>& changes, QString* error)
{
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QString name = configFileName(file);
    for (const auto& [key, text] : changes) {
        const ConfigKey* schemaKey = findConfigKey(file, key);
        if (!schemaKey)
            return fail(QStringLiteral("Nicht gespeichert: %1 kennt „%2“ nicht.").arg(name, key));
        if (!text.isNull() && !configValueProblem(*schemaKey, text).isEmpty())
            return fail(QStringLiteral("Nicht gespeichert: %1 (%2) muss %3 sein; „%4“ geht nicht.")
                            .arg(schemaKey->label, name, configValueHint(*schemaKey), text));
    }
    if (m_folder.isEmpty())
        return fail(QStringLiteral("Nicht gespeichert: Der Datenordner ist nicht bekannt."));
    const QString path = QDir(m_folder).filePath(name);
    QByteArray original;
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        // Written over unread, its other lines would be lost.
        QFile in(path);
        if (!info.isFile() || !in.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("Nicht gespeichert: %1 kann nicht gelesen werden.").arg(path));
        original = in.readAll();
    }
    const QByteArray bytes = rewriteConfig(file, original, changes);
    if (bytes != original || !info.exists()) {
        // The files may hold a password or an API key: the owner's only.
        if (!ReplaceFileWhole(path, bytes, kOwnerOnlyFile))
            return fail(QStringLiteral("Nicht gespeichert: %1 konnte nicht geschrieben werden; die Datei ist "
                                       "unverändert.")
                            .arg(path));
    }
    apply(file, ConfigValues::read(m_folder, file));
    return true;
}

void Configuration::hold(bool held)
{
    m_held = held;
    if (held)
        return;
    for (const ConfigFile file : configFiles()) {
        if (std::optional<ConfigValues> pending = std::exchange(m_pending[indexOf(file)], std::nullopt))
            apply(file, std::move(*pending));
    }
}

void Configuration::apply(ConfigFile file, ConfigValues values)
{
    const QString path = QDir(m_folder).filePath(configFileName(file));
    for (const ConfigProblem& problem : values.problems())
        qCWarning(lcFiles).noquote() << problem.text();
    if (values.unread()) {
        qCWarning(lcFiles).noquote() << path + QStringLiteral(": could not be read; the values in force stay");
        return;
    }
    if (m_held) {
        m_pending[indexOf(file)] = std::move(values);
        return;
    }
    ConfigValues& current = m_values[indexOf(file)];
    const bool same = sameValues(current, values);
    current = std::move(values);
    if (!same)
        emit changed(file);
}
