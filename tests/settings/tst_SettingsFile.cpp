#include "common/AppContext.h"
#include "common/CodePage.h"
#include "common/FileExists.h"
#include "common/NumberText.h"
#include "common/SafeFile.h"
#include "config/ConfigValues.h"
#include "config/Configuration.h"
#include "config/StationSettings.h"
#include "settings/DataFolders.h"
#include "settings/Form2.h"
#include "settings/SettingsFile.h"
#include "tests/support/DataRows.h"
#include "tests/support/OwnNamespaces.h"
#include "tests/support/TestFiles.h"
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <numeric>
#include <sys/fsuid.h>

using namespace TestFiles;

// The dialog's controls in the order of the settings file's lines.
static const QStringList kControls = QStringLiteral(
    "txt_Server check_sound(10) check_datei txt_settings(0) txt_settings(1) txt_settings(4) txt_settings(5) "
    "txt_settings(2) txt_settings(3) check_sound(0) check_sound(9) check_sound(1) check_sound(2) check_sound(3) "
    "check_sound(4) check_sound(5) check_sound(6) check_sound(7) check_sound(8) check_em(0) check_em(1) Check_Proxy "
    "txt_proxy(0) txt_proxy(1) Check_aut Text_Login(0) Text_Login(1)")
                                         .split(' ');

class SettingsAndHelpersTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_data, m_program;
    AppContext m_ctx;
    StationSettings m_settings;
    QString path() const { return SettingsPath(m_ctx); }
    void load() { m_settings = LoadSettings(m_ctx, ConfigValues::read(m_ctx.DataFolder, ConfigFile::Settings)); }
    static constexpr int kNone = 99999; // no 16-bit value

private slots:
    void init()
    {
        m_settings = StationSettings();
        m_ctx.DataFolder = m_data.path();
        m_ctx.ProgramFolder = m_program.path();
        QFile::remove(path());
    }
    void codePageKeepsEveryByte()
    {
        QByteArray all(256, Qt::Uninitialized);
        std::iota(all.begin(), all.end(), char(0));
        const QString text = CodePage::decode(all);
        QCOMPARE(QSet<QChar>(text.begin(), text.end()).size(), 256);
        QCOMPARE(CodePage::encode(text), all);
        // Windows-1252 where it differs from Latin-1; the bytes it leaves undefined stay controls.
        QCOMPARE(CodePage::decode("\x80\x84\x93\x96\x81\xe4\xdf"), QString::fromUtf16(u"€„“–\u0081äß"));
        QCOMPARE(CodePage::encode(u"a\u0411b"), QByteArray("a?b"));
    }
    // The leading number with an exponent allowed, and as a 16-bit integer (never an exponent).
    void numbers_data()
    {
        columns<QString, double, int>("text", "number", "int16");
        row("blanks, sign, text after", "  +8080 x", 8080.0, 8080);
        row("a comma ends it", "2,5", 2.0, 2);
        row("half to the even below", "2.5", 2.5, 2);
        row("half to the even beyond", "-3.5", -3.5, -4);
        row("smallest", "-32768.4", -32768.4, -32768);
        row("rounds beyond", "32767.5", 32767.5, kNone);
        row("exponent", "1.5E+3", 1500.0, 2);
        row("underflow", "-1e-400", 0.0, -1);
        row("underflow in the digits", "0." + QString(400, u'0') + "1", 0.0, 0);
        row("overflow, negative exponent", "-" + QString(400, u'9') + "e-9", -HUGE_VAL, kNone);
    }
    void numbers()
    {
        auto [text, number, int16] = fetch<QString, double, int>("text", "number", "int16");
        QCOMPARE(NumberText::readLeadingNumber(text, { .allowExponent = true }), number);
        QCOMPARE(std::optional<int>(NumberText::readInt16(text)).value_or(kNone), int16);
    }
    // In a folder that holds the empty file "a", readable by all, and "b", which only its owner may write.
    void fileExists_data()
    {
        columns<QString, bool>("name", "exists");
        row("empty file", "a", true);
        row("no read access", "b", false);
        row("folder", ".", false);
        row("NUL in the path", QString::fromUtf16(u"a\0b", 3), false);
    }
    void fileExists()
    {
        auto [name, exists] = fetch<QString, bool>("name", "exists");
        const QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a")), b = dir.filePath(QStringLiteral("b"));
        QVERIFY(writeAll(a, {}) && writeAll(b, {}) && QFile::setPermissions(b, QFile::WriteOwner)
            && QFile::setPermissions(a, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther)
            && QFile::setPermissions(dir.path(),
                QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
        ::setfsuid(65534); // root reads every file: ask as an ordinary user (no change when not root)
        const bool result = FileExists(dir.filePath(name));
        ::setfsuid(0);
        QCOMPARE(result, exists);
    }
    // Every line read and written back byte for byte in place of a longer file; line 5 names sabbel.txt.
    void roundTrip()
    {
        QByteArrayList lines;
        for (const char kind : QByteArray("TNNTTTTTTNNNNNNNNNNNNNTNNTT")) // text, or a flag and the port
            lines += kind == 'N' ? QByteArray::number(lines.size() % 2)
                                 : QByteArray::number(lines.size() + 1) + " Stra\xdf\x65 \x96 \x80 ";
        QVERIFY(writeAll(path(), lines.join("\r\n") + "\r\n" + QByteArray(100000, 'x')));
        load();
        QVERIFY(SaveSettings(m_ctx, m_settings));
        lines[4] = QFile::encodeName(m_program.filePath(QStringLiteral("sabbel.txt")));
        QCOMPARE(readAll(path()), lines.join("\r\n") + "\r\n");
        QCOMPARE(QDir(m_data.path()).entryList(QDir::Files | QDir::Hidden), QStringList({ "settings.dat" }));
    }
    void shortAndBadFiles_data()
    {
        // file: null for no settings.dat; read: server|SpeechEnabled|ProxyPort|SpeechTextFile, P the program folder
        columns<QByteArray, QString>("file", "read");
        const QByteArray z = QByteArray("0\r\n").repeated(21);
        row("no file", QByteArray(), "localhost|0|0|");
        row("empty file", QByteArray(""), "localhost|0|0|P/sabbel.txt");
        row("four lines, LF only", QByteArray("els\n1\n0\n/usr/bin/sag\n"), "els|1|0|P/sabbel.txt");
        row("no server, 8080 x", QByteArray("\r\n1\r\n" + z + "8080 x"), "localhost|1|8080|P/sabbel.txt");
        row("letter, out of range", QByteArray("s\r\na\r\n" + z + "99999"), "s|0|0|P/sabbel.txt");
        row("NUL, controls", QByteArray("\0\xff\x81\r\n7", 6), QString::fromUtf16(u"\0ÿ\u0081|0|0|P/sabbel.txt", 20));
        row("10 MB: not read", QByteArray(10 << 20, '7'), "localhost|0|0|P/sabbel.txt");
    }
    void shortAndBadFiles()
    {
        auto [file, read] = fetch<QByteArray, QString>("file", "read");
        QVERIFY(file.isNull() || writeAll(path(), file));
        load();
        const StationSettings& s = m_settings;
        const QString speech = QString(s.SpeechTextFile).replace(m_program.path(), "P");
        QCOMPARE(QString("%1|%2|%3|").arg(s.ServerAddress).arg(int(s.SpeechEnabled)).arg(s.ProxyPort) + speech, read);
        QCOMPARE(readAll(path()), file); // reading never changes the file
        m_ctx.ProgramFolder = "/proc/1"; // cannot be written: the speech text goes to the data folder
        QCOMPARE(DefaultSpeechTextFile(m_ctx), m_data.filePath(QStringLiteral("sabbel.txt")));
    }
    // A flag (line 3) or the port (line 24) that the record cannot hold as written: what the program
    // uses, and what a save writes back.
    void numbersThatChange_data()
    {
        columns<int, QByteArray, int, QByteArray>("line", "written", "used", "saved");
        for (const auto& [written, used, saved] : std::initializer_list<std::tuple<const char*, int, const char*>> {
                 { "1", 1, "1" }, { "2", 0, "0" }, { "-1", 0, "0" }, { "1.4 x", 1, "1" }, { "65537", 0, "0" } })
            row(qPrintable(QString("flag \"%1\"").arg(written)), 3, QByteArray(written), used, QByteArray(saved));
        for (const auto& [written, used, saved] : std::initializer_list<std::tuple<const char*, int, const char*>> {
                 { "32767", 32767, "32767" }, { "40000", 0, "0" }, { "-1", 0, "0" }, { "80.5", 80, "80" } })
            row(qPrintable(QString("port \"%1\"").arg(written)), 24, QByteArray(written), used, QByteArray(saved));
    }
    void numbersThatChange()
    {
        auto [line, written, used, saved] = fetch<int, QByteArray, int, QByteArray>("line", "written", "used", "saved");
        QByteArrayList lines(27, "0");
        lines[line - 1] = written;
        QVERIFY(writeAll(path(), lines.join("\r\n") + "\r\n"));
        load();
        QCOMPARE(line == 3 ? int(m_settings.PlayAlarmWav) : int(m_settings.ProxyPort), used);
        QVERIFY(SaveSettings(m_ctx, m_settings));
        QCOMPARE(readAll(path()).split('\n').value(line - 1), saved + '\r');
    }
    void dataFolders_data()
    {
        // before: what stands where the data folder Torvelle belongs; programFolder: empty for a writable one
        columns<QString, QString, bool>("before", "programFolder", "inProgramFolder");
        row("first start", "nothing", "", false);
        row("archive deleted", "folder", "", false);
        row("a file in the folder's place", "file", "", true);
        row("a file in its place, an installed program: a warning", "file", "/proc/1", true);
    }
    // The archive and the station's sounds folder are made; a read-only data folder is one warning.
    void dataFolders()
    {
        auto [before, programFolder, inProgramFolder]
            = fetch<QString, QString, bool>("before", "programFolder", "inProgramFolder");
        const QTemporaryDir home;
        const QString torvelle = home.filePath("Torvelle"), kept = before == "folder" ? torvelle + "/kept" : torvelle;
        QVERIFY(before == "nothing" || ((before != "folder" || QDir().mkdir(torvelle)) && writeAll(kept, "kept")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        if (!programFolder.isEmpty()) {
            m_ctx.ProgramFolder = programFolder;
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot be written"));
        }
        QTest::failOnWarning(QRegularExpression("."));
        InitDataFolders(m_ctx);
        QCOMPARE(m_ctx.DataFolder, inProgramFolder ? m_ctx.ProgramFolder : torvelle);
        QCOMPARE(QFileInfo(m_ctx.DataFolder + "/Sounds").isDir() && QFileInfo(m_ctx.DataFolder + "/Ablage").isDir(),
            programFolder.isEmpty());
        QCOMPARE(readAll(kept), QByteArray(before == "nothing" ? "" : "kept"));
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
                 { " 3128 ", "3128" }, { "", "0" }, { "-1", nullptr }, { "32767", "32767" }, { "32768", nullptr },
                 { "8080x", nullptr }, { "80.5", nullptr }, { "-", nullptr } })
            row(qPrintable(QString("port \"%1\"").arg(typed)), 24, QString(typed), QString(saved));
        row("file cannot be written", 0, "els", QString());
    }
    void dialogSaveAndOpen()
    {
        auto [line, typed, saved] = fetch<int, QString, QString>("line", "typed", "saved");
        m_ctx.DataFolder = line ? m_data.path() : m_data.filePath("missing");
        QWidget mainWindow; // off the middle of the screen
        mainWindow.setGeometry(20, 30, 300, 200);
        Configuration config;
        config.load(m_ctx.DataFolder);
        Form2 dialog(m_ctx, config, &mainWindow);
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
        Form2 again(m_ctx, config);
        for (int n = 1; n <= 27; ++n) {
            QWidget* const c = again.findChild<QWidget*>(kControls[n - 1]);
            const auto* box = qobject_cast<QCheckBox*>(c);
            // A new station's dialog offers the server's default.
            const QString want = n == line ? (box ? "1" : saved) : n == 1 ? "localhost" : (box || n == 24 ? "0" : "");
            QCOMPARE(box ? QString::number(box->isChecked()) : static_cast<QLineEdit*>(c)->text(), want);
            QCOMPARE(file.value(n - 1), CodePage::encode(want) + '\r');
        }
    }
    // A cancelled file picker keeps the speech program's path, a chosen file replaces it; "Schließen"
    // keeps the settings and the file as they were.
    void dialogPickerAndClose()
    {
        Configuration config;
        config.load(m_data.path());
        Form2 dialog(m_ctx, config);
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
        QVERIFY(m_settings == StationSettings() && !QFile::exists(path()));
    }
    // On a full disk (64 KiB, mounted in this thread's own namespace) a failed save leaves the settings file
    // whole and owner-only, a failed replacement a larger file whole, nothing beside; with room both succeed.
    void fullDisk()
    {
        const SmallDisk disk(m_data.path());
        if (!disk.mounted())
            QSKIP("Mounting a small file system needs root (CAP_SYS_ADMIN); the full-disk case did not run.");
        const QString last = m_ctx.dataFile(QStringLiteral("last.dat"));
        QVERIFY(SaveSettings(m_ctx, m_settings) && writeAll(last, QByteArray(10000, 'o')));
        const QByteArray saved = readAll(path());
        const QString filler = disk.fill();
        m_settings.ServerAddress = QStringLiteral("els");
        QVERIFY(!SaveSettings(m_ctx, m_settings) && !ReplaceFileWhole(last, QByteArray(20000, 'n')));
        QCOMPARE(readAll(path()) + readAll(last), saved + QByteArray(10000, 'o'));
        QCOMPARE(QFile::permissions(path()) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QCOMPARE(QDir(m_data.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList({ "filler", "last.dat", "settings.dat" }));
        QVERIFY(
            QFile::remove(filler) && SaveSettings(m_ctx, m_settings) && ReplaceFileWhole(last, QByteArray(20000, 'n')));
        QCOMPARE(readAll(path()) + readAll(last), SettingsFileBytes(m_settings) + QByteArray(20000, 'n'));
    }
};

int main(int argc, char** argv)
{
    const QTemporaryDir folder; // a screen of a station's size, larger than the dialog
    if (!writeAll(folder.filePath("screens.json"), R"({"screens":[{"name":"S","width":1366,"height":768}]})"))
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(folder.filePath("screens.json")));
    QApplication app(argc, argv);
    SettingsAndHelpersTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_SettingsFile.moc"
