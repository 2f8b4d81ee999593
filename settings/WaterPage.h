#pragma once

#include "settings/SettingsPage.h"

#include <functional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// "Wasserentnahmestellen": an OpenStreetMap extract (.osm or .osm.pbf) is chosen and imported into
// the water sources' index, on a thread of its own, with its progress shown; the window's thread,
// which takes the alarms, never waits for it. The index goes where map.ini's water= says, or
// without one into the data folder, and then indexChosen() asks map.ini to name it.
class WaterPage : public SettingsPage {
    Q_OBJECT

public:
    // `index`: map.ini's water= as it stands; `dataFolder` for an index when there is none.
    WaterPage(const QString& index, const QString& dataFolder, QWidget* parent = nullptr);

    [[nodiscard]] QString title() const override { return QStringLiteral("Wasserentnahmestellen"); }
    [[nodiscard]] bool valid(QString*) const override { return true; }
    // The import writes the index itself; the page has nothing to save.
    [[nodiscard]] bool changed() const override { return false; }
    bool save(QString*) override { return true; }

    // Starts the import of the extract; false when one is under way or the file is no extract.
    bool import(const QString& extract);
    [[nodiscard]] bool importing() const { return m_importing; }
    // The index the import writes to.
    [[nodiscard]] const QString& index() const { return m_index; }

    std::function<QString(QWidget* parent)> pickFile;

    QLineEdit* txt_extract = nullptr;
    QPushButton* cmd_import = nullptr;
    QProgressBar* progress = nullptr;
    QLabel* lbl_result = nullptr;

signals:
    // The import has ended; `ok` with the index written.
    void imported(bool ok);
    // map.ini should name this index (it named none before).
    void indexChosen(const QString& index);

private:
    QString m_index;
    bool m_named = false;
    bool m_importing = false;
};
