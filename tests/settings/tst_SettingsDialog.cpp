#include "common/AppContext.h"
#include "common/CodePage.h"
#include "settings/Form2.h"
#include "settings/SettingsFile.h"
#include "tests/support/DataRows.h"
#include "tests/support/TestFiles.h"
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

using namespace TestFiles;

// The dialog's controls in the order of the settings file's lines.
static const QStringList kControls = QStringLiteral(
    "txt_Server check_sound(10) check_datei txt_settings(0) txt_settings(1) txt_settings(4) txt_settings(5) "
    "txt_settings(2) txt_settings(3) check_sound(0) check_sound(9) check_sound(1) check_sound(2) check_sound(3) "
    "check_sound(4) check_sound(5) check_sound(6) check_sound(7) check_sound(8) check_em(0) check_em(1) Check_Proxy "
    "txt_proxy(0) txt_proxy(1) Check_aut Text_Login(0) Text_Login(1)")
                                         .split(' ');

// The settings dialog "Form2" over the settings file.
class SettingsDialogTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_data, m_program;
    AppContext m_ctx;
    QString path() const { return SettingsPath(m_ctx); }

private slots:
    void init()
    {
        m_ctx.settings = Settings();
        m_ctx.DataFolder = m_data.path();
        m_ctx.ProgramFolder = m_program.path();
        QFile::remove(path());
    }
    // The dialog, one control filled at a time: saving writes it to its own line alone and closes, and
    // the next opening shows it in that control alone. A port that does not fit and a file that cannot
    // be written keep it open with a message. It opens centred on the screen; the password shows stars.
    void dialogSaveAndOpen_data()
    {
        // typed: into a text box (a check box is ticked); saved: null when nothing is written
        columns<int, QString, QString>("line", "typed", "saved");
        for (int n = 1; n <= 27; ++n) {
            const QString value = n == 24 ? QStringLiteral("8080") : QStringLiteral(" Wert äöü %1 ").arg(n);
            row(qPrintable(kControls[n - 1]), n, value, value);
        }
        for (const auto& [typed, saved] : std::initializer_list<std::pair<const char*, const char*>> {
                 { " 3128 ", "3128" }, { "", "0" }, { "-32768", "-32768" }, { "32768", nullptr }, { "8080x", nullptr },
                 { "80.5", nullptr }, { "-", nullptr } })
            row(qPrintable(QString("port \"%1\"").arg(typed)), 24, QString(typed), QString(saved));
        row("file cannot be written", 0, "els", QString());
    }
    void dialogSaveAndOpen()
    {
        auto [line, typed, saved] = fetch<int, QString, QString>("line", "typed", "saved");
        m_ctx.DataFolder = line ? m_data.path() : m_data.filePath("missing");
        QWidget mainWindow; // off the middle of the screen
        mainWindow.setGeometry(20, 30, 300, 200);
        Form2 dialog(m_ctx, &mainWindow);
        dialog.setAttribute(Qt::WA_DeleteOnClose, false);
        dialog.show();
        QCOMPARE(dialog.frameGeometry().center(), mainWindow.screen()->availableGeometry().center());
        QWidget* const control = dialog.findChild<QWidget*>(kControls[std::max(line, 1) - 1]);
        auto* const check = qobject_cast<QCheckBox*>(control);
        check ? check->setChecked(true) : static_cast<QLineEdit*>(control)->setText(typed);
        QCOMPARE(dialog.Text_Login[1]->displayText(), QString(dialog.Text_Login[1]->text().size(), QLatin1Char('*')));
        dialog.cmd_save->click();
        QCOMPARE(dialog.isVisible(), saved.isNull());
        QCOMPARE(dialog.lbl_problem->isVisibleTo(&dialog), saved.isNull());
        const QList<QByteArray> file = readAll(path()).split('\n');
        QCOMPARE(file.size(), saved.isNull() ? 1 : 28);
        if (saved.isNull())
            return;
        Form2 again(m_ctx);
        for (int n = 1; n <= 27; ++n) {
            QWidget* const c = again.findChild<QWidget*>(kControls[n - 1]);
            const auto* box = qobject_cast<QCheckBox*>(c);
            const QString want = n == line ? (box ? "1" : saved) : (box || n == 24 ? "0" : "");
            QCOMPARE(box ? QString::number(box->isChecked()) : static_cast<QLineEdit*>(c)->text(), want);
            QCOMPARE(file.value(n - 1), CodePage::encode(want) + '\r');
        }
    }
    // A cancelled file picker keeps the speech program's path, a chosen file replaces it; "Schließen"
    // keeps the settings and the file as they were.
    void dialogPickerAndClose()
    {
        Form2 dialog(m_ctx);
        dialog.setAttribute(Qt::WA_DeleteOnClose, false);
        QString answer;
        dialog.pickFile = [&](QWidget*, const QString&, const QString&) { return answer; };
        dialog.txt_settings[0]->setText(QStringLiteral("/opt/sag"));
        for (const QString picked : { "", "/usr/bin/espeak-ng" }) {
            answer = picked;
            dialog.cmd_dialog->click();
            QCOMPARE(dialog.txt_settings[0]->text(), picked.isEmpty() ? "/opt/sag" : picked);
        }
        dialog.Command2->click();
        QVERIFY(m_ctx.settings == Settings() && !QFile::exists(path()));
    }
};

int main(int argc, char** argv)
{
    const QTemporaryDir folder; // a screen of a station's size, larger than the dialog
    if (!writeAll(folder.filePath("screens.json"), R"({"screens":[{"name":"S","width":1366,"height":768}]})"))
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(folder.filePath("screens.json")));
    QApplication app(argc, argv);
    SettingsDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SettingsDialog.moc"
