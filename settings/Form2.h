#pragma once

#include <QDialog>

#include <array>
#include <functional>

class AppContext;
struct StationSettings;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The settings dialog: every field of the Station's settings record in a control of its own.
// Filled from the record when it is created; "Speichern" copies the controls back, writes
// settings.dat and closes; "Schließen" closes and changes nothing. Non-modal: alarms go on while it
// is open. It deletes itself when closed, so the next opening starts from the current settings.
class Form2 : public QDialog {
    Q_OBJECT

public:
    Form2(AppContext& ctx, StationSettings& settings, QWidget* parent = nullptr);

    // The picker for the speech program: returns the chosen file's full path, or an empty text when
    // the user cancels. The dialog asks the platform's file dialog; tests answer here instead.
    std::function<QString(QWidget* parent, const QString& folder, const QString& filter)> pickFile;

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

    // Where the file picker starts and which files it offers.
    static QString speechProgramFolder();
    static QString speechProgramFilter();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void fillFromSettings();
    void placeOnScreen();
    void markPort(bool refused);
    void showProblem(const QString& text);

    AppContext& m_ctx;
    StationSettings& m_settings;
    bool m_placed = false;
};
