#pragma once

#include "config/StationSettings.h"

#include <QDialog>
#include <QHash>

#include <array>

#include <functional>

class AppContext;
class Configuration;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class SettingsPage;
class SettingsTrial;

// The settings dialog: one page per area, listed on the left, the page on the right (a page taller
// than the screen scrolls). "Leitstelle" and "Ansage" hold every field of the settings record in a
// control of its own; the other pages are built from the schema of their file, or are pages of
// their own (the crew, the vehicles, the water sources, the calendar). Filled when it is created;
// "Speichern" waits while a page cannot be used (lbl_problem says why), then saves every page that
// has changes and closes; "Schließen" closes and changes nothing. Non-modal: alarms go on while it
// is open. It deletes itself when closed, so the next opening starts from the current settings.
class Form2 : public QDialog {
    Q_OBJECT

public:
    Form2(AppContext& ctx, Configuration& config, QWidget* parent = nullptr);

    // The pages in the order of the list.
    [[nodiscard]] const QList<SettingsPage*>& pages() const { return m_pages; }
    // The page of that title; null when there is none.
    [[nodiscard]] SettingsPage* page(const QString& title) const;
    // Brings the page of that title to the front.
    void showPage(const QString& title);

    // The picker for the speech program: returns the chosen file's full path, or an empty text when
    // the user cancels. The dialog asks the platform's file dialog; tests answer here instead.
    std::function<QString(QWidget* parent, const QString& folder, const QString& filter)> pickFile;
    // "Probealarm" pressed: the station's test alarm started (true), or why not.
    std::function<std::pair<bool, QString>()> testAlarm;

    void cmd_dialog_Click();
    void cmd_save_Click();
    void Command2_Click();

    // The controls, under the names the station's documentation uses.
    QLineEdit* txt_Server = nullptr;
    QCheckBox* check_datei = nullptr;
    std::array<QCheckBox*, 11> check_sound {};
    std::array<QLineEdit*, 6> txt_settings {};
    std::array<QCheckBox*, 2> check_em {};
    std::array<QLineEdit*, 2> txt_proxy {};
    QCheckBox* Check_Proxy = nullptr;
    QCheckBox* Check_aut = nullptr;
    std::array<QLineEdit*, 2> Text_Login {};
    QPushButton* cmd_dialog = nullptr;
    QPushButton* cmd_save = nullptr;
    QPushButton* Command2 = nullptr;
    QGroupBox* soundGroup = nullptr;
    QGroupBox* proxyGroup = nullptr;
    // Says why "Speichern" did not close the dialog; hidden otherwise.
    QLabel* lbl_problem = nullptr;
    // The trial buttons, each with the line that says what happened.
    QPushButton* cmd_soundTrial = nullptr; // "Ton prüfen"
    QPushButton* cmd_speechTrial = nullptr; // "Ansage prüfen"
    QPushButton* cmd_printTrial = nullptr; // "Testdruck"
    QPushButton* cmd_mapTrial = nullptr; // "Karte prüfen"
    QPushButton* cmd_routeTrial = nullptr; // "Route prüfen"
    QPushButton* cmd_testAlarm = nullptr; // "Probealarm"
    QLineEdit* txt_trialAddress = nullptr; // the address "Karte prüfen" searches
    [[nodiscard]] QLabel* trialResult(QPushButton* button) const;
    [[nodiscard]] SettingsTrial& trial() const { return *m_trial; }

    // The speech text's file that is used: the typed name when it is a full path, otherwise the
    // data folder's sabbel.txt.
    QLabel* lbl_speechText = nullptr;

    // Where the file picker starts and which files it offers.
    static QString speechProgramFolder();
    static QString speechProgramFilter();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createPages();
    void createTrials();
    QPushButton* addTrial(QLayout* layout, const QString& caption, std::function<void()> start);
    void showTrialResult(QPushButton* button, bool ok, const QString& text);
    void addPage(SettingsPage* page);
    void fillFromSettings();
    void placeOnScreen();
    void markPort(bool refused);
    void showProblem(const QString& text);
    void showSpeechText();
    [[nodiscard]] QStringList recordControls() const;
    bool saveRecord(QString* error);

    AppContext& m_ctx;
    Configuration& m_config;
    QWidget* m_stationPage = nullptr;
    QWidget* m_speechPage = nullptr;
    QListWidget* m_list = nullptr;
    QStackedWidget* m_stack = nullptr;
    QList<SettingsPage*> m_pages;
    SettingsTrial* m_trial = nullptr;
    QHash<int, QPushButton*> m_trialButtons; // by SettingsTrial::Trial
    // The record's controls as they were filled or last saved.
    QStringList m_recordSaved;
    // The record as settings.dat holds it; what "Speichern" writes.
    StationSettings m_settings;
    bool m_placed = false;
};
