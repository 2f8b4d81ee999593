#include "common/AppContext.h"
#include "settings/Form2.h"
#include "settings/ProxyPort.h"
#include "settings/SettingsFile.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <variant>

namespace {

using Field = std::variant<QString Settings::*, qint16 Settings::*>;

struct Binding {
    const char* control;
    Field field;
};

// Every control and its field, in the order the dialog saves them.
const Binding kBindings[] = {
    { "txt_Server", &Settings::ServerAddress },
    { "check_datei", &Settings::PlayAlarmWav },
    { "check_sound(10)", &Settings::SpeechEnabled },
    { "txt_settings(0)", &Settings::SpeechProgramPath },
    { "txt_settings(1)", &Settings::SpeechTextFile },
    { "txt_settings(4)", &Settings::SpeechArgsBefore },
    { "txt_settings(5)", &Settings::SpeechArgsAfter },
    { "txt_settings(2)", &Settings::LeadText },
    { "txt_settings(3)", &Settings::TrailText },
    { "check_sound(0)", &Settings::SpeakLeadText },
    { "check_sound(9)", &Settings::SpeakTrailText },
    { "check_sound(1)", &Settings::SpeakIncidentType },
    { "check_sound(2)", &Settings::SpeakKeyword },
    { "check_sound(3)", &Settings::SpeakTown },
    { "check_sound(4)", &Settings::SpeakStreet },
    { "check_sound(5)", &Settings::SpeakSupplement },
    { "check_sound(6)", &Settings::SpeakDistrict },
    { "check_sound(7)", &Settings::SpeakObject },
    { "check_sound(8)", &Settings::SpeakOutsideTown },
    { "check_em(0)", &Settings::SpeakUnits },
    { "check_em(1)", &Settings::PlayUnitWavs },
    { "txt_proxy(0)", &Settings::ProxyServer },
    { "txt_proxy(1)", &Settings::ProxyPort },
    { "Check_Proxy", &Settings::UseProxy },
    { "Check_aut", &Settings::ProxyAuthRequired },
    { "Text_Login(0)", &Settings::ProxyLogin },
    { "Text_Login(1)", &Settings::ProxyPassword },
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

} // namespace

class Form2Test : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_data;
    std::unique_ptr<AppContext> m_ctx;

    QString settingsPath() const { return SettingsPath(*m_ctx); }

    std::unique_ptr<Form2> open()
    {
        auto dialog = std::make_unique<Form2>(*m_ctx);
        dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        dialog->show();
        return dialog;
    }

private slots:
    void init()
    {
        QVERIFY(m_data.isValid());
        QFile::remove(m_data.filePath(QStringLiteral("settings.dat")));
        m_ctx = std::make_unique<AppContext>();
        m_ctx->DataFolder = m_data.path();
        m_ctx->ProgramFolder = m_data.path();
    }

    void face()
    {
        auto dialog = open();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Einstellungen"));
        QCOMPARE(dialog->minimumSize(), QSize(763, 652));
        QCOMPARE(dialog->maximumSize(), QSize(763, 652));
        QCOMPARE(dialog->palette().color(QPalette::Window), QColor(0xE0, 0xE0, 0xE0));
        QVERIFY(!(dialog->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(dialog->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!dialog->isModal());
        QCOMPARE(dialog->Text_Login[1]->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog->txt_proxy[0]->maxLength(), 250);
        QCOMPARE(dialog->txt_proxy[1]->maxLength(), 8);
        QVERIFY(dialog->txt_proxy[1]->alignment() & Qt::AlignRight);
        QCOMPARE(dialog->cmd_save->text(), QStringLiteral("Speichern"));
        QCOMPARE(dialog->Command2->text(), QStringLiteral("Schließen"));
        QCOMPARE(dialog->cmd_dialog->text(), QStringLiteral("..."));
        QCOMPARE(dialog->check_sound[4]->text(), QStringLiteral("Straße + HNr"));
        QCOMPARE(dialog->check_em[0]->text(), QStringLiteral("eingesetzte EM"));
        QCOMPARE(dialog->Check_Proxy->text(), QStringLiteral("Proxyserver für die Internetverbindung verwenden"));
        QCOMPARE(dialog->soundGroup->title(), QStringLiteral("Soundausgabe / Sprachausgabe"));
        QCOMPARE(dialog->soundGroup->geometry(), QRect(16, 56, 737, 425));
        QCOMPARE(dialog->txt_Server->geometry(), QRect(200, 16, 193, 25));
        QCOMPARE(dialog->txt_settings[0]->geometry(), QRect(208, 104, 409, 19));
        QCOMPARE(dialog->check_sound[8]->geometry(), QRect(496, 264, 49, 17));
        QCOMPARE(dialog->Text_Login[1]->geometry(), QRect(544, 72, 177, 19));

        // Every control of the proxy group is inside the dialog and not under the sound group.
        QCOMPARE(dialog->proxyGroup->title(), QStringLiteral("Proxyserver"));
        QVERIFY(dialog->rect().contains(dialog->proxyGroup->geometry()));
        QVERIFY(!dialog->proxyGroup->geometry().intersects(dialog->soundGroup->geometry()));
        for (QWidget* w : dialog->proxyGroup->findChildren<QWidget*>())
            QVERIFY2(dialog->proxyGroup->rect().contains(w->geometry()), qPrintable(w->objectName()));
        for (QWidget* w : { static_cast<QWidget*>(dialog->cmd_save), static_cast<QWidget*>(dialog->Command2) }) {
            QVERIFY(dialog->rect().contains(w->geometry()));
            QVERIFY(!w->geometry().intersects(dialog->proxyGroup->geometry()));
        }

        for (const Binding& b : kBindings)
            QVERIFY2(dialog->findChild<QWidget*>(QString::fromLatin1(b.control)), b.control);
    }

    void openingWithoutSettingsFile()
    {
        LoadSettings(*m_ctx);
        auto dialog = open();
        QCOMPARE(dialog->txt_Server->text(), QStringLiteral("localhost"));
        QCOMPARE(dialog->txt_proxy[1]->text(), QStringLiteral("0"));
        for (QLineEdit* edit : dialog->findChildren<QLineEdit*>()) {
            if (edit != dialog->txt_Server && edit != dialog->txt_proxy[1] && edit != dialog->txt_settings[1])
                QVERIFY2(edit->text().isEmpty(), qPrintable(edit->objectName()));
        }
        QCOMPARE(dialog->txt_settings[1]->text(), m_ctx->settings.SpeechTextFile);
        for (QCheckBox* check : dialog->findChildren<QCheckBox*>())
            QVERIFY2(!check->isChecked(), qPrintable(check->objectName()));
    }

    // One field at a time: its control shows it, no other control does, and saving brings it back.
    void eachFieldHasItsControl_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(kBindings)); ++i)
            QTest::newRow(kBindings[i].control) << i;
    }

    void eachFieldHasItsControl()
    {
        QFETCH(int, index);
        const Binding& b = kBindings[index];
        Settings& s = m_ctx->settings;
        s.ServerAddress = QStringLiteral("localhost");
        if (std::holds_alternative<QString Settings::*>(b.field))
            s.*std::get<QString Settings::*>(b.field) = QStringLiteral(" Wert äöü %1 ").arg(index);
        else
            s.*std::get<qint16 Settings::*>(b.field) = b.field == Field(&Settings::ProxyPort) ? 8080 : 1;
        const Settings expected = s;

        auto dialog = open();
        for (const Binding& other : kBindings) {
            QWidget* w = dialog->findChild<QWidget*>(QString::fromLatin1(other.control));
            QVERIFY(w);
            QString shown;
            if (auto* check = qobject_cast<QCheckBox*>(w))
                shown = check->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
            else
                shown = qobject_cast<QLineEdit*>(w)->text();
            QString want;
            if (std::holds_alternative<QString Settings::*>(other.field))
                want = s.*std::get<QString Settings::*>(other.field);
            else
                want = QString::number(s.*std::get<qint16 Settings::*>(other.field));
            QCOMPARE(shown, want);
        }

        m_ctx->settings = Settings();
        dialog->cmd_save->click();
        QCOMPARE(m_ctx->settings, expected);
        QCOMPARE(fileBytes(settingsPath()), SettingsFileBytes(expected));
        QVERIFY(!dialog->isVisible());
    }

    void saveCopiesTheEditsWritesAndCloses()
    {
        LoadSettings(*m_ctx);
        auto dialog = open();
        dialog->txt_Server->setText(QStringLiteral("192.168.10.5"));
        dialog->check_sound[10]->setChecked(true);
        dialog->check_sound[3]->setChecked(true);
        dialog->txt_settings[0]->setText(QStringLiteral("/usr/bin/espeak-ng"));
        dialog->txt_settings[1]->setText(QStringLiteral("/tmp/ansage.txt"));
        dialog->txt_proxy[1]->setText(QStringLiteral(" 3128 "));
        dialog->Text_Login[1]->setText(QStringLiteral("geheim"));
        dialog->cmd_save->click();

        QVERIFY(!dialog->isVisible());
        const Settings& s = m_ctx->settings;
        QCOMPARE(s.ServerAddress, QStringLiteral("192.168.10.5"));
        QCOMPARE(s.SpeechEnabled, qint16(1));
        QCOMPARE(s.SpeakTown, qint16(1));
        QCOMPARE(s.SpeakStreet, qint16(0));
        QCOMPARE(s.SpeechProgramPath, QStringLiteral("/usr/bin/espeak-ng"));
        QCOMPARE(s.SpeechTextFile, QStringLiteral("/tmp/ansage.txt"));
        QCOMPARE(s.ProxyPort, qint16(3128));
        QCOMPARE(s.ProxyPassword, QStringLiteral("geheim"));

        // The file reads back into the same values, line 5 apart.
        AppContext reread;
        reread.DataFolder = m_ctx->DataFolder;
        reread.ProgramFolder = m_ctx->ProgramFolder;
        LoadSettings(reread);
        Settings expected = s;
        expected.SpeechTextFile = reread.settings.SpeechTextFile;
        QCOMPARE(reread.settings, expected);
        const QList<QByteArray> lines = fileBytes(settingsPath()).split('\n');
        QCOMPARE(lines.size(), 28);
        QCOMPARE(lines[4], QByteArray("/tmp/ansage.txt\r"));
    }

    void closeWithoutSaving()
    {
        m_ctx->settings.ServerAddress = QStringLiteral("els");
        m_ctx->settings.SpeakKeyword = 1;
        QVERIFY(SaveSettings(*m_ctx));
        const QByteArray before = fileBytes(settingsPath());
        const Settings kept = m_ctx->settings;

        auto dialog = open();
        dialog->txt_Server->setText(QStringLiteral("anders"));
        dialog->check_sound[2]->setChecked(false);
        dialog->txt_proxy[1]->setText(QStringLiteral("8080"));
        dialog->Command2->click();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(m_ctx->settings, kept);
        QCOMPARE(fileBytes(settingsPath()), before);

        // The next opening shows the old values.
        auto again = open();
        QCOMPARE(again->txt_Server->text(), QStringLiteral("els"));
        QVERIFY(again->check_sound[2]->isChecked());
        QCOMPARE(again->txt_proxy[1]->text(), QStringLiteral("0"));
    }

    void closeBoxDoesNotSave()
    {
        auto dialog = open();
        dialog->txt_Server->setText(QStringLiteral("anders"));
        dialog->close();
        QVERIFY(m_ctx->settings.ServerAddress.isEmpty());
        QVERIFY(!QFile::exists(settingsPath()));
    }

    void filePicker()
    {
        auto dialog = open();
        dialog->txt_settings[0]->setText(QStringLiteral("/opt/sprache/sag"));
        QString folder;
        QString filter;
        QString answer;
        dialog->pickFile = [&](QWidget*, const QString& f, const QString& flt) {
            folder = f;
            filter = flt;
            return answer;
        };

        dialog->cmd_dialog->click(); // cancelled
        QCOMPARE(dialog->txt_settings[0]->text(), QStringLiteral("/opt/sprache/sag"));
#ifndef Q_OS_WIN
        QCOMPARE(folder, QStringLiteral("/usr/bin"));
        QVERIFY(filter.contains(QLatin1String("(*)")));
        QVERIFY(!filter.contains(QLatin1String(".exe")));
#endif

        answer = QStringLiteral("/usr/bin/espeak-ng");
        dialog->cmd_dialog->click();
        QCOMPARE(dialog->txt_settings[0]->text(), QStringLiteral("/usr/bin/espeak-ng"));
        QVERIFY(m_ctx->settings.SpeechProgramPath.isEmpty());
    }

    void portText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port"); // -99999: refused
        QTest::newRow("8080") << "8080" << 8080;
        QTest::newRow("blanks around") << "  3128 " << 3128;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("largest") << "32767" << 32767;
        QTest::newRow("signed") << "-1" << -1;
        QTest::newRow("smallest") << "-32768" << -32768;
        QTest::newRow("one beyond") << "32768" << -99999;
        QTest::newRow("a real port beyond the field") << "65535" << -99999;
        QTest::newRow("far beyond") << "99999999" << -99999;
        QTest::newRow("below") << "-32769" << -99999;
        QTest::newRow("letters") << "abc" << -99999;
        QTest::newRow("number then letters") << "8080x" << -99999;
        QTest::newRow("fraction") << "80.5" << -99999;
        QTest::newRow("sign alone") << "-" << -99999;
        QTest::newRow("two numbers") << "80 80" << -99999;
    }

    void portText()
    {
        QFETCH(QString, text);
        QFETCH(int, port);
        const std::optional<qint16> read = ProxyPortFromText(text);
        QCOMPARE(read ? int(*read) : -99999, port);

        m_ctx->settings.ProxyPort = 21;
        auto dialog = open();
        dialog->txt_Server->setText(QStringLiteral("neu"));
        dialog->txt_proxy[1]->setText(text);
        dialog->cmd_save->click();
        if (port == -99999) {
            // Refused: nothing copied, nothing written, the dialog stays with the field marked.
            QVERIFY(dialog->isVisible());
            QCOMPARE(m_ctx->settings.ProxyPort, qint16(21));
            QVERIFY(m_ctx->settings.ServerAddress.isEmpty());
            QVERIFY(!QFile::exists(settingsPath()));
            QVERIFY(dialog->txt_proxy[1]->styleSheet().contains(QLatin1String("border")));
            QVERIFY(!dialog->txt_proxy[1]->toolTip().isEmpty());
            QVERIFY(dialog->lbl_problem->isVisibleTo(dialog.get()));
            QCOMPARE(dialog->txt_proxy[1]->text(), text);

            // Typing takes the mark away; a good port then saves.
            dialog->txt_proxy[1]->end(false);
            QTest::keyClick(dialog->txt_proxy[1], Qt::Key_Backspace);
            QVERIFY(dialog->txt_proxy[1]->styleSheet().isEmpty());
            QVERIFY(dialog->txt_proxy[1]->toolTip().isEmpty());
            dialog->txt_proxy[1]->setText(QStringLiteral("8080"));
            dialog->cmd_save->click();
            QVERIFY(!dialog->isVisible());
            QCOMPARE(m_ctx->settings.ProxyPort, qint16(8080));
        } else {
            QVERIFY(!dialog->isVisible());
            QCOMPARE(int(m_ctx->settings.ProxyPort), port);
            QCOMPARE(m_ctx->settings.ServerAddress, QStringLiteral("neu"));
            QVERIFY(QFile::exists(settingsPath()));
        }
    }

    // The file cannot be written: the new values hold for this run, and the dialog says the file
    // was not written instead of closing as if it had been.
    void unwritableDataFolder()
    {
        m_ctx->DataFolder = m_data.filePath(QStringLiteral("no/such/folder"));
        auto dialog = open();
        dialog->txt_Server->setText(QStringLiteral("els2"));
        dialog->cmd_save->click();
        QCOMPARE(m_ctx->settings.ServerAddress, QStringLiteral("els2"));
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->lbl_problem->isVisibleTo(dialog.get()));
        QVERIFY(!dialog->lbl_problem->text().isEmpty());
    }
};

QTEST_MAIN(Form2Test)
#include "tst_Form2.moc"
