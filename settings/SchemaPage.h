#pragma once

#include "config/ConfigSchema.h"
#include "settings/SettingsPage.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <utility>

class Configuration;
class QLabel;
class QVBoxLayout;

// A page of the settings dialog built from the schema of one file: for each key its label, a field
// of the key's type and range, and the help text under it. A field is checked as it is typed: one
// that cannot be used turns red and says why, and the page is not valid until it is mended. Saving
// writes only the keys whose field differs from the value in force, through the Configuration.
class SchemaPage : public SettingsPage {
    Q_OBJECT

public:
    // `leaveOut`: keys that a page of their own sets.
    SchemaPage(ConfigFile file, Configuration& config, const QStringList& leaveOut = {}, QWidget* parent = nullptr);
    ~SchemaPage() override;

    // The page's name for a file: "Anzeige", "Karte und Route", "Ausdruck", "Einsatzarchiv".
    [[nodiscard]] static QString titleOf(ConfigFile file);

    [[nodiscard]] QString title() const override;
    [[nodiscard]] bool valid(QString* why) const override;
    [[nodiscard]] bool changed() const override;
    bool save(QString* error) override;

    [[nodiscard]] ConfigFile file() const { return m_file; }
    // Key → text as it would stand in the file, for every field that differs from the value in force.
    [[nodiscard]] QList<std::pair<QString, QString>> changes() const;
    // Every field as "key=value" lines, as the file would read with the values on the page: what a
    // trial button tries.
    [[nodiscard]] QByteArray fileText() const;
    // The field of a key (QCheckBox, QSpinBox, QDoubleSpinBox, QComboBox or QLineEdit); null for a
    // key the file does not have. Its object name is the key.
    [[nodiscard]] QWidget* field(const QString& key) const;

    // Turns a text key into a choice of `offered` (value as written, caption); the value in force
    // stays a choice of its own. Called again, it adds what is new.
    void offerChoices(const QString& key, const QList<std::pair<QString, QString>>& offered);

    // Below the fields: the page's own buttons and lines (the trial buttons).
    [[nodiscard]] QVBoxLayout* tail() const { return m_tail; }

    // The file picker of a path field: the chosen path, or an empty text when the user cancels.
    // The platform's file dialog; tests answer here instead.
    std::function<QString(QWidget* parent, const QString& start)> pickFile;

private:
    struct Field;

    void addField(const ConfigKey& schemaKey);
    void check(Field& field);

    ConfigFile m_file;
    Configuration& m_config;
    QList<Field*> m_fields;
    QVBoxLayout* m_tail = nullptr;
};
