#include "common/AppContext.h"
#include "config/ConfigValues.h"
#include "map/MapConfig.h"
#include "route/RouteSettings.h"
#include "settings/SettingsTrial.h"
#include "tests/support/DataRows.h"
#include "tests/support/HttpResponder.h"
#include "tests/support/PrivateCups.h"
#include "tests/support/RoutinoTown.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/SoundWriter.h"
#include "tests/support/TestFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace TestFiles;
using Trial = SettingsTrial::Trial;

// Each trial against a real thing of the test's own: ALSA's file plugin, a script as the speech
// program, a private CUPS scheduler, a local HTTP server, routino on a small town. What the station
// reads in the dialog is checked, the failures' words among it.
class SettingsTrialTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_data, m_program, m_sound;
    SoundCapture m_capture { m_sound.path() };

    struct Outcome {
        bool ok = false;
        QString text;
    };
    // Runs the trial and waits for its one answer.
    static Outcome run(SettingsTrial& trial, const std::function<void()>& start)
    {
        QSignalSpy done(&trial, &SettingsTrial::finished);
        start();
        if (done.isEmpty() && !done.wait(30000))
            return { false, QStringLiteral("no answer") };
        return { done.at(0).at(1).toBool(), done.at(0).at(2).toString() };
    }

private slots:
    // The alarm sound reaches the loudspeaker; a missing or broken alarm.wav is said, and nothing plays.
    void sound_data()
    {
        columns<QString, bool, QString>("wave", "ok", "says");
        row("alarm.wav plays", "wave", true, "abgespielt");
        row("no alarm.wav", "", false, "fehlt");
        row("alarm.wav is no sound", "text", false, "keine Wave-Datei");
    }
    void sound()
    {
        auto [wave, ok, says] = fetch<QString, bool, QString>("wave", "ok", "says");
        AppContext ctx;
        ctx.ProgramFolder = m_program.path();
        const QString path = ctx.programFile("alarm.wav");
        QFile::remove(path);
        m_capture.clear();
        const QByteArray samples = wave == "wave" ? SoundWriter::write(path, 7) : QByteArray();
        QVERIFY(wave != "text" || writeAll(path, "RIFF, but no sound"));
        SettingsTrial trial(ctx);
        const Outcome outcome = run(trial, [&] { trial.playSound(); });
        QVERIFY2(outcome.text.contains(says), qPrintable(outcome.text));
        QCOMPARE(outcome.ok, ok);
        QCOMPARE(m_capture.captured(), samples);
    }

    // The speech program gets the test text in a file of its own; the alarm's text file stays as it
    // was. A program that fails, hangs, is missing or may not write its text is said so.
    void speech_data()
    {
        columns<QString, QString, bool, QString>("script", "textFile", "ok", "says");
        row("reads the text", "cat \"$1\" > \"$0.heard\"", "", true, "ohne Fehler");
        row("a full path for the text", "cat \"$1\" > \"$0.heard\"", "own", true, "ohne Fehler");
        row("fails", "exit 3", "", false, "Fehlercode 3");
        row("hangs", "exec sleep 30", "", false, "länger als 0,3 s");
        row("missing", "", "", false, "gibt es nicht");
        row("text may not be written", "true", "/proc/sabbel.txt", false, "nicht schreiben");
    }
    void speech()
    {
        auto [script, textFile, ok, says] = fetch<QString, QString, bool, QString>("script", "textFile", "ok", "says");
        AppContext ctx;
        ctx.DataFolder = m_data.path();
        const QString program = m_program.filePath("sag.sh"), alarmText = m_data.filePath("sabbel.txt");
        QFile::remove(program);
        QVERIFY(script.isEmpty() || writeScript(program, script.toUtf8()));
        QVERIFY(writeAll(alarmText, "Einsatz"));
        const QString own = m_program.filePath("text/sabbel.txt");
        QVERIFY(QDir().mkpath(m_program.filePath("text")));
        SettingsTrial trial(ctx);
        trial.speechLimit = std::chrono::milliseconds(300);
        const Outcome outcome = run(trial, [&] {
            trial.speak({ program, textFile == "own" ? own : textFile, QString(), QString() });
        });
        QVERIFY2(outcome.text.contains(says), qPrintable(outcome.text));
        QCOMPARE(outcome.ok, ok);
        QCOMPARE(readAll(alarmText), "Einsatz");
        if (ok) {
            QCOMPARE(readAll(program + ".heard"), SettingsTrial::SpeechText.toUtf8());
            QVERIFY(QFile::exists(
                textFile == "own" ? m_program.filePath("text/ansageprobe.txt") : m_data.filePath("ansageprobe.txt")));
        }
    }

    // A page marked as a test reaches the chosen queue; an unknown queue is said by its name.
    void print()
    {
        PrivateCups cups;
        if (!cups.started())
            QSKIP(qPrintable(cups.whyNot()));
        QVERIFY(cups.addQueue("Wache"));
        AppContext ctx;
        SettingsTrial trial(ctx);
        trial.printLimit = std::chrono::seconds(10);
        Outcome outcome = run(trial, [&] { trial.printTest("Wache"); });
        QVERIFY2(outcome.ok && outcome.text.contains("\"Wache\" (Auftrag "), qPrintable(outcome.text));
        const int job = outcome.text.section("(Auftrag ", 1).section(')', 0, 0).toInt();
        const auto printed = cups.job(job);
        QVERIFY(printed && printed->document.startsWith("%PDF"));
        outcome = run(trial, [&] { trial.printTest("Keller"); });
        QCOMPARE(outcome.text, "CUPS kennt keinen Drucker \"Keller\".");
        QVERIFY(!outcome.ok);
        cups.stop();
        outcome = run(trial, [&] { trial.printTest("Wache"); });
        QCOMPARE(outcome.text, "Der Druckdienst CUPS ist nicht erreichbar: läuft er?");
    }

    // One tile and one address search from a local server; a refusing service and one that sends
    // no picture are said so.
    void map_data()
    {
        columns<int, QString, bool, QString>("status", "address", "ok", "says");
        row("tile and address", 200, "Hauptstraße 5", true,
            "Die Karte kam an. Die Adresse \"Hauptstraße 5\" wurde gefunden (51.5");
        row("tile only", 200, "", true, "Die Karte kam an.");
        row("refused", 403, "Hauptstraße 5", false, "Die Karte kam nicht: der Dienst verweigert den Zugriff (HTTP 403");
        row("no picture", 204, "", false, "Die Karte kam nicht: der Dienst schickte kein Bild.");
    }
    void map()
    {
        auto [status, address, ok, says] = fetch<int, QString, bool, QString>("status", "address", "ok", "says");
        HttpResponder server([status](const HttpResponder::Request& request) {
            HttpResponder::Response answer = HttpResponder::png(Qt::green);
            if (request.target.startsWith("/search")) {
                answer.contentType = "application/json";
                answer.body = R"([{"lat":"51.5001","lon":"7.4001"}])";
            }
            answer.status = status;
            if (status != 200)
                answer.body.clear();
            return answer;
        });
        const MapConfig map = MapConfig::from(ConfigValues::parse(ConfigFile::Map,
            QByteArray("provider=osm\ntiles=" + server.base() + "/{z}/{x}/{y}.png\nsearch=" + server.base() + "\n")));
        AppContext ctx;
        SettingsTrial trial(ctx);
        const Outcome outcome = run(trial, [&] { trial.tryMap(map, RoutinoTown::Station, address); });
        QVERIFY2(outcome.text.startsWith(says), qPrintable(outcome.text));
        QCOMPARE(outcome.ok, ok);
        QVERIFY(server.waitForRequest("/15/17057/10897.png") >= 0); // the tile of the station
    }

    // The way from the station to the map's centre with the real routino; no data is said so.
    void route()
    {
        QTemporaryDir town;
        const QString data = RoutinoTown::prepare(town.path());
        if (data.isEmpty())
            QSKIP("routino is not installed");
        AppContext ctx;
        SettingsTrial trial(ctx);
        RouteSettings route;
        route.engine = RouteSettings::Engine::Routino;
        route.station = RoutinoTown::Station;
        route.data = data;
        Outcome outcome = run(trial, [&] { trial.tryRoute(route, RoutinoTown::Incident); });
        QVERIFY2(outcome.ok && outcome.text.startsWith("Route gefunden: 3,6 km"), qPrintable(outcome.text));
        route.data = town.filePath("missing");
        outcome = run(trial, [&] { trial.tryRoute(route, RoutinoTown::Incident); });
        QCOMPARE(outcome.text, QString("Den Ordner mit den Routino-Daten gibt es nicht: \"%1\".").arg(route.data));
        route.engine = RouteSettings::Engine::None;
        QCOMPARE(run(trial, [&] { trial.tryRoute(route, RoutinoTown::Incident); }).text,
            "Es ist keine Route eingestellt (route=).");
    }
};

QTEST_MAIN(SettingsTrialTest)
#include "tst_SettingsTrial.moc"
