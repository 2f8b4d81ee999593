#include "announce/Announcer.h"
#include "common/AppContext.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {

using TestFiles::readAll;
using TestFiles::writeAll;



// A speech program: a shell script that runs the given body, executable.
bool makeProgram(const QString& path, const QByteArray& body)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !writeAll(path, "#!/bin/sh\n" + body))
        return false;
    return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// Records its working directory, each argument, and a copy of every argument that names a file,
// into the folder it is given in RECORD_DIR; then sleeps and exits as told in SPEECH_SLEEP and
// SPEECH_EXIT.
const QByteArray kRecorder = R"(rec="$RECORD_DIR"
pwd > "$rec/cwd"
echo $# > "$rec/argc"
n=0
for a in "$@"; do
    printf '%s' "$a" > "$rec/arg$n"
    if [ -f "$a" ]; then cat "$a" > "$rec/file$n"; fi
    n=$((n+1))
done
sleep "${SPEECH_SLEEP:-0}"
exit "${SPEECH_EXIT:-0}"
)";

bool isRunning(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

} // namespace

class SpeechProgramTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_cases = 0;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // A fresh folder for what a program records.
    QString recordFolder()
    {
        const QString folder = path(QStringLiteral("record-%1").arg(++m_cases));
        QDir().mkpath(folder);
        qputenv("RECORD_DIR", QFile::encodeName(folder));
        return folder;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qunsetenv("SPEECH_SLEEP");
        qunsetenv("SPEECH_EXIT");
    }

    void cleanup()
    {
        qunsetenv("SPEECH_SLEEP");
        qunsetenv("SPEECH_EXIT");
    }

    // The command line and sound.sh, byte for byte.
    void scriptLines_data()
    {
        QTest::addColumn<QString>("dataFolder");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("textFile");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("no arguments: two blanks, nothing after the file")
            << "/home/w/.local/share/Torvelle"
            << "/usr/bin/espeak-ng"
            << "/opt/k/sabbel.txt"
            << ""
            << ""
            << QByteArray("#!/bin/sh\ncd \"/home/w/.local/share/Torvelle\"\n"
                          "\"/usr/bin/espeak-ng\"  \"/opt/k/sabbel.txt\"\n");
        QTest::newRow("arguments before") << "/d"
                                          << "/usr/bin/espeak-ng"
                                          << "/opt/k/sabbel.txt"
                                          << "-v de -f"
                                          << ""
                                          << QByteArray("#!/bin/sh\ncd \"/d\"\n"
                                                        "\"/usr/bin/espeak-ng\" -v de -f \"/opt/k/sabbel.txt\"\n");
        QTest::newRow("arguments after, unquoted")
            << "/d"
            << "/p/say"
            << "/t.txt"
            << ""
            << "--rate 150 -x" << QByteArray("#!/bin/sh\ncd \"/d\"\n\"/p/say\"  \"/t.txt\" --rate 150 -x\n");
        QTest::newRow("both") << "/d"
                              << "/p/say"
                              << "/t.txt"
                              << "-a"
                              << "-b" << QByteArray("#!/bin/sh\ncd \"/d\"\n\"/p/say\" -a \"/t.txt\" -b\n");
        QTest::newRow("blanks and shell characters escaped in quotes")
            << "/da ta/$HOME/`id`"
            << "/p q/\"say\""
            << "/x\\y/$1.txt"
            << ""
            << ""
            << QByteArray("#!/bin/sh\ncd \"/da ta/\\$HOME/\\`id\\`\"\n\"/p q/\\\"say\\\"\"  \"/x\\\\y/\\$1.txt\"\n");
        QTest::newRow("other characters stay as they are")
            << "/d'x"
            << "/p!/*?;&|<>(){}~#"
            << "/t'.txt"
            << ""
            << "" << QByteArray("#!/bin/sh\ncd \"/d'x\"\n\"/p!/*?;&|<>(){}~#\"  \"/t'.txt\"\n");
        QTest::newRow("line breaks in arguments become blanks")
            << "/d"
            << "/p"
            << "/t"
            << "-a\r\nrm -rf x"
            << "-b\nc" << QByteArray("#!/bin/sh\ncd \"/d\"\n\"/p\" -a  rm -rf x \"/t\" -b c\n");
        QTest::newRow("umlauts in the file names' encoding")
            << QString::fromUtf8("/Grünberg") << "/p" << QString::fromUtf8("/Wache Süd/sabbel.txt") << ""
            << "" << QByteArray("#!/bin/sh\ncd \"/Gr\xc3\xbcnberg\"\n\"/p\"  \"/Wache S\xc3\xbc\x64/sabbel.txt\"\n");
    }

    void scriptLines()
    {
        QFETCH(QString, dataFolder);
        QFETCH(QString, program);
        QFETCH(QString, textFile);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QByteArray, expected);
        const QString line = Announcer::SpeechCommandLine(program, textFile, before, after);
        QCOMPARE(Announcer::SpeechScript(dataFolder, line), expected);
    }

    // What RunSpeechProgram writes into the data folder, and what reaches the program: its
    // arguments unchanged, the text file's bytes, the data folder as working directory. The paths
    // hold everything the shell would otherwise take as its own.
    void speechProgramGetsItsArguments_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QStringList>("arguments"); // {} stands for the text file

        QTest::newRow("none") << ""
                              << "" << QStringList { "{}" };
        QTest::newRow("espeak-ng style") << "-v de -f"
                                         << "" << QStringList { "-v", "de", "-f", "{}" };
        QTest::newRow("after the file") << ""
                                        << "--rate 150" << QStringList { "{}", "--rate", "150" };
        QTest::newRow("shell quoting in the arguments") << "-v 'de x'"
                                                        << "\"a b\"" << QStringList { "-v", "de x", "{}", "a b" };
    }

    void speechProgramGetsItsArguments()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QStringList, arguments);

        const QString special = QString::fromUtf8(" $HOME `id` \"q\" \\b 'c' ü");
        const QString dataFolder = path(QStringLiteral("Daten") + special);
        const QString program = path(QStringLiteral("Programm") + special + QStringLiteral("/say"));
        const QString textFile = path(QStringLiteral("Text") + special + QStringLiteral("/sabbel.txt"));
        QVERIFY(QDir().mkpath(dataFolder));
        QVERIFY(QDir().mkpath(QFileInfo(textFile).absolutePath()));
        QVERIFY(makeProgram(program, kRecorder));
        // Windows-1252 bytes as the alarm handler writes them: ä, ß, the euro sign, CR LF.
        const QByteArray text("Einsatz: Stra\xdf"
                              "e 5, Gr\xe4"
                              "ben, 100 \x80\r\nZweite Zeile\r\n");
        QVERIFY(writeAll(textFile, text));

        AppContext ctx;
        ctx.DataFolder = dataFolder;
        Announcer announcer(ctx);
        const QString record = recordFolder();
        announcer.RunSpeechProgram(program, textFile, before, after);

        const QByteArray script = readAll(dataFolder + QStringLiteral("/sound.sh"));
        QCOMPARE(script,
            Announcer::SpeechScript(dataFolder, Announcer::SpeechCommandLine(program, textFile, before, after)));
        QCOMPARE(script.count('\n'), 3);
        QVERIFY(!script.contains('\r'));

        QCOMPARE(readAll(record + QStringLiteral("/argc")).trimmed(), QByteArray::number(arguments.size()));
        for (int i = 0; i < arguments.size(); ++i) {
            const QString arg = QString::fromUtf8(readAll(record + QStringLiteral("/arg%1").arg(i)));
            if (arguments[i] == QLatin1String("{}")) {
                QCOMPARE(arg, textFile);
                QCOMPARE(readAll(record + QStringLiteral("/file%1").arg(i)), text);
            } else {
                QCOMPARE(arg, arguments[i]);
            }
        }
        QCOMPARE(QString::fromUtf8(readAll(record + QStringLiteral("/cwd"))).trimmed(),
            QFileInfo(dataFolder).canonicalFilePath());
    }

    // Each announcement replaces sound.sh; a data folder that cannot take it runs nothing.
    void scriptReplacedOrNotRun()
    {
        const QString dataFolder = path(QStringLiteral("replaced"));
        QVERIFY(QDir().mkpath(dataFolder));
        const QString program = path(QStringLiteral("replaced-say"));
        QVERIFY(makeProgram(program, kRecorder));
        AppContext ctx;
        ctx.DataFolder = dataFolder;
        Announcer announcer(ctx);

        QVERIFY(writeAll(dataFolder + QStringLiteral("/sound.sh"), QByteArray(5000, '#') + "\nexit 3\n"));
        recordFolder();
        announcer.RunSpeechProgram(program, QStringLiteral("/first.txt"), QString(), QString());
        announcer.RunSpeechProgram(program, QStringLiteral("/second.txt"), QStringLiteral("-x"), QString());
        QCOMPARE(readAll(dataFolder + QStringLiteral("/sound.sh")),
            Announcer::SpeechScript(dataFolder, QStringLiteral("\"%1\" -x \"/second.txt\"").arg(program)));

        ctx.DataFolder = path(QStringLiteral("no such folder"));
        const QString record = recordFolder();
        announcer.RunSpeechProgram(program, QStringLiteral("/third.txt"), QString(), QString());
        QVERIFY(!QFile::exists(record + QStringLiteral("/argc")));
    }

    // The wait returns when the program has ended, with its exit code.
    void exitCode_data()
    {
        QTest::addColumn<QByteArray>("exit");
        QTest::addColumn<int>("expected");
        QTest::newRow("0") << QByteArray("0") << 0;
        QTest::newRow("7") << QByteArray("7") << 7;
        QTest::newRow("255") << QByteArray("255") << 255;
    }

    void exitCode()
    {
        QFETCH(QByteArray, exit);
        QFETCH(int, expected);
        const QString script = path(QStringLiteral("exit.sh"));
        QVERIFY(writeAll(script, "sleep 0.2\nexit " + exit + "\n"));
        AppContext ctx;
        Announcer announcer(ctx);
        QCOMPARE(announcer.ShellAndWait(script, Announcer::kShowMinimized, true), expected);
        QCOMPARE(announcer.ShellAndWait(script, Announcer::kShowMinimized, false), expected);

        // A program that is not a script runs as itself.
        const QString program = path(QStringLiteral("exit-program"));
        QVERIFY(makeProgram(program, "exit " + exit + "\n"));
        QCOMPARE(announcer.ShellAndWait(program, 1, true), expected);
    }

    // Nothing to run: 0, and nothing started.
    void nothingToRun_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing file") << QStringLiteral("missing.sh");
        QTest::newRow("empty path") << QString();
        QTest::newRow("a folder") << QStringLiteral("folder.sh");
        QTest::newRow("not executable, not a script") << QStringLiteral("plain-file");
    }

    void nothingToRun()
    {
        QFETCH(QString, name);
        QVERIFY(QDir().mkpath(path(QStringLiteral("folder.sh"))));
        QVERIFY(writeAll(path(QStringLiteral("plain-file")), "#!/bin/sh\nexit 9\n"));
        AppContext ctx;
        Announcer announcer(ctx);
        QCOMPARE(announcer.ShellAndWait(name.isEmpty() ? name : path(name), 2, true), 0);
    }

    // The wait ends when the program begins to end; the speech program runs on to its end.
    void endingLeavesTheChildRunning()
    {
        const QString marks = path(QStringLiteral("ending"));
        QVERIFY(QDir().mkpath(marks));
        const QString script = path(QStringLiteral("long.sh"));
        QVERIFY(writeAll(script,
            "echo $$ > \"" + QFile::encodeName(marks) + "/pid\"\nsleep 1.5\ntouch \"" + QFile::encodeName(marks)
                + "/done\"\n"));
        AppContext ctx;
        Announcer announcer(ctx);
        QTimer::singleShot(300, &ctx, &AppContext::beginEnding);

        QCOMPARE(announcer.ShellAndWait(script, 2, true), Announcer::kStillActive);
        QVERIFY(!QFile::exists(marks + QStringLiteral("/done")));
        QTRY_VERIFY(!readAll(marks + QStringLiteral("/pid")).trimmed().isEmpty());
        const qint64 pid = readAll(marks + QStringLiteral("/pid")).trimmed().toLongLong();
        QVERIFY(isRunning(pid));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marks + QStringLiteral("/done")), 20000);

        // Once ending, nothing new is started.
        QFile::remove(marks + QStringLiteral("/pid"));
        QCOMPARE(announcer.ShellAndWait(script, 2, true), 0);
        QTest::qWait(200);
        QVERIFY(!QFile::exists(marks + QStringLiteral("/pid")));
    }

    // While the speech program runs, the timer ticks and the link receives.
    void eventsDuringTheWait()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTcpSocket client;
        QByteArray received;
        bool waiting = false;
        bool receivedWhileWaiting = false;
        int ticksWhileWaiting = 0;
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket* peer = server.nextPendingConnection();
            QObject::connect(peer, &QTcpSocket::readyRead, peer, [&, peer] {
                received += peer->readAll();
                receivedWhileWaiting = waiting;
            });
        });
        QTimer timer;
        timer.setInterval(50);
        QObject::connect(&timer, &QTimer::timeout, &timer, [&] { ticksWhileWaiting += waiting ? 1 : 0; });
        timer.start();
        QTimer::singleShot(100, &client, [&] { client.connectToHost(QHostAddress::LocalHost, server.serverPort()); });
        QObject::connect(&client, &QTcpSocket::connected, &client, [&] { client.write("WACHALARM\tx"); });

        const QString script = path(QStringLiteral("events.sh"));
        QVERIFY(writeAll(script, "sleep 1.5\nexit 4\n"));
        AppContext ctx;
        Announcer announcer(ctx);
        waiting = true;
        const int code = announcer.ShellAndWait(script, 2, true);
        waiting = false;
        QCOMPARE(code, 4);
        QVERIFY(ticksWhileWaiting > 0);
        QCOMPARE(received, QByteArray("WACHALARM\tx"));
        QVERIFY(receivedWhileWaiting);
    }

    // Without the pump-events flag the thread handles nothing until the program has ended.
    void noEventsWithoutPumping()
    {
        const QString script = path(QStringLiteral("quiet.sh"));
        QVERIFY(writeAll(script, "sleep 0.5\n"));
        AppContext ctx;
        Announcer announcer(ctx);
        bool ticked = false;
        QTimer::singleShot(10, &ctx, [&] { ticked = true; });
        QCOMPARE(announcer.ShellAndWait(script, 2, false), 0);
        QVERIFY(!ticked);
        QTRY_VERIFY(ticked);
    }

    // The demo's speech program, espeak-ng with its German voice, takes the 8-bit text file as it
    // is: umlauts and ß are spoken as from the same text in UTF-8 (here into a file instead of the
    // loudspeakers).
    void espeakReadsTheEightBitText()
    {
        const QString espeak = QStringLiteral("/usr/bin/espeak-ng");
        QVERIFY2(QFileInfo(espeak).isExecutable(), "espeak-ng is installed by scripts/install-deps.sh");
        const QString dataFolder = path(QStringLiteral("espeak data"));
        QVERIFY(QDir().mkpath(dataFolder));
        const QString eightBit = path(QStringLiteral("espeak sabbel.txt"));
        const QString utf8 = path(QStringLiteral("espeak-utf8.txt"));
        QVERIFY(writeAll(eightBit,
            "Stra\xdf"
            "e 5, Gr\xe4"
            "ben, \xd6lweg\r\nZweite Zeile\r\n"));
        QVERIFY(writeAll(utf8, QString::fromUtf8("Straße 5, Gräben, Ölweg\r\nZweite Zeile\r\n").toUtf8()));
        const QString spoken = path(QStringLiteral("espeak spoken.wav"));
        const QString reference = path(QStringLiteral("espeak-reference.wav"));

        AppContext ctx;
        ctx.DataFolder = dataFolder;
        Announcer announcer(ctx);
        announcer.RunSpeechProgram(espeak, eightBit, QStringLiteral("-v de -w '%1' -f").arg(spoken), QString());
        QCOMPARE(QProcess::execute(espeak, { "-v", "de", "-w", reference, "-f", utf8 }), 0);

        const QByteArray bytes = readAll(spoken);
        QVERIFY(bytes.size() > 10000);
        QVERIFY(bytes == readAll(reference));
    }

    // A second alarm announced inside the wait of the first: its speech runs with its own text,
    // and its wait is over before the first one returns, although the first program ended first.
    void nestedAnnouncement()
    {
        const QString dataFolder = path(QStringLiteral("nested"));
        QVERIFY(QDir().mkpath(dataFolder));
        const QString log = path(QStringLiteral("nested.log"));
        const QString program = path(QStringLiteral("nested-say"));
        QVERIFY(
            makeProgram(program, "sleep \"$2\"\necho \"$(cat \"$1\") ended\" >> \"" + QFile::encodeName(log) + "\"\n"));
        const QString first = path(QStringLiteral("first.txt"));
        const QString second = path(QStringLiteral("second.txt"));
        QVERIFY(writeAll(first, "first"));
        QVERIFY(writeAll(second, "second"));

        AppContext ctx;
        ctx.DataFolder = dataFolder;
        Announcer announcer(ctx);
        QStringList order;
        QTimer::singleShot(100, &ctx, [&] {
            announcer.RunSpeechProgram(program, second, QString(), QStringLiteral("1.2"));
            order << QStringLiteral("second returned");
        });
        announcer.RunSpeechProgram(program, first, QString(), QStringLiteral("0.3"));
        order << QStringLiteral("first returned");

        QCOMPARE(order, (QStringList { "second returned", "first returned" }));
        QCOMPARE(readAll(log), QByteArray("first ended\nsecond ended\n"));
        QCOMPARE(readAll(dataFolder + QStringLiteral("/sound.sh")),
            Announcer::SpeechScript(
                dataFolder, Announcer::SpeechCommandLine(program, second, QString(), QStringLiteral("1.2"))));
    }
};

QTEST_GUILESS_MAIN(SpeechProgramTest)
#include "tst_SpeechProgram.moc"
