#include "app/Form1.h"
#include "common/AppContext.h"
#include "map/ucGMap.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class Form1Test : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QTemporaryDir m_program;

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
    }

    void controlsAtDesignPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("pixels");
        // Twips from the design table, 15 to the pixel.
        QTest::newRow("top bar") << "roLabel1(1)" << QRect(0, 0, 1153, 49);
        QTest::newRow("settings") << "cmd_Settings" << QRect(48, 8, 129, 33);
        QTest::newRow("link picture") << "Image_S" << QRect(192, 8, 64, 32);
        QTest::newRow("clear") << "cmd_Clear" << QRect(648, 8, 89, 33);
        QTest::newRow("version") << "Label_vers" << QRect(8, 32, 73, 17);
        QTest::newRow("map") << "ucGMap1" << QRect(0, 48, 640, 640);
        QTest::newRow("zoom 12") << "cmd_zoom(0)" << QRect(0, 48, 49, 41);
        QTest::newRow("zoom 19") << "cmd_zoom(7)" << QRect(336, 48, 49, 41);
        QTest::newRow("zoom label") << "lbl_Zoom" << QRect(384, 48, 33, 41);
        QTest::newRow("road map") << "cmd_Anbieter(0)" << QRect(416, 48, 57, 41);
        QTest::newRow("terrain") << "cmd_Anbieter(3)" << QRect(584, 48, 57, 41);
        QTest::newRow("keyword") << "label_einsatz(1)" << QRect(640, 48, 609, 73);
        QTest::newRow("picture") << "label_einsatz(0)" << QRect(640, 120, 609, 41);
        QTest::newRow("informant") << "label_einsatz(8)" << QRect(640, 360, 609, 41);
        QTest::newRow("remark") << "label_einsatz(7)" << QRect(640, 400, 609, 89);
        QTest::newRow("Label2(0)") << "Label2(0)" << QRect(640, 120, 73, 17);
        QTest::newRow("Label2(1)") << "Label2(1)" << QRect(640, 136, 73, 25);
        QTest::newRow("Label4") << "Label4" << QRect(640, 160, 73, 41);
        QTest::newRow("signal") << "Image_Blau" << QRect(640, 56, 65, 65);
        QTest::newRow("signal on") << "Image2" << QRect(696, 56, 64, 64);
        QTest::newRow("signal off") << "Image3" << QRect(752, 56, 64, 64);
    }

    void controlsAtDesignPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QRect, pixels);
        AppContext ctx;
        Form1 form(ctx);
        auto* w = form.findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->geometry(), pixels);
    }

    void captionsAndFixedPoints()
    {
        AppContext ctx;
        Form1 form(ctx);
        QCOMPARE(form.windowTitle(), QStringLiteral("Kessvenn"));
        QCOMPARE(form.size(), QSize(1264, 936));
        QCOMPARE(form.cmd_Settings->text(), QStringLiteral("Einstellungen"));
        QCOMPARE(form.cmd_Clear->text(), QStringLiteral("Clear (strg+c)"));
        QCOMPARE(form.cmd_ende->text(), QStringLiteral("Programmende"));
        QCOMPARE(form.cmd_zoom[0]->text(), QStringLiteral("12   (F2)"));
        QCOMPARE(form.cmd_zoom[7]->text(), QStringLiteral("19   (F9)"));
        QCOMPARE(form.cmd_Anbieter[0]->text(), QStringLiteral("Straße  (strg+s)"));
        QCOMPARE(form.cmd_Anbieter[1]->text(), QStringLiteral("Satellit   (strg+a)"));
        QCOMPARE(form.cmd_Anbieter[2]->text(), QStringLiteral(" Hybrid   (strg+h)"));
        QCOMPARE(form.cmd_Anbieter[3]->text(), QStringLiteral("Terrain   (strg+t)"));
        QCOMPARE(form.lbl_Zoom->text(), QStringLiteral("16"));
        QCOMPARE(form.label_einsatz[1]->font().pointSizeF(), 48.0);
        QCOMPARE(form.label_einsatz[2]->font().pointSizeF(), 26.25);
        QCOMPARE(form.label_einsatz[3]->text(), QStringLiteral("Plz/Ort"));
        QVERIFY(form.Image_Server[0]->isHidden());
        QVERIFY(form.Image_Server[1]->isHidden());
        QVERIFY(form.Image2->isHidden());
        QVERIFY(form.Image3->isHidden());
        QVERIFY(form.Timer1->isActive());
        QCOMPARE(form.Timer1->interval(), 1000);
        for (const char* name : {"MSFlexGrid1", "Grid_Melder", "Grid_Status", "List_Doku"})
            QVERIFY2(form.findChild<QAbstractItemView*>(QString::fromLatin1(name)), name);
    }

    void startUpCreatesFoldersAndWritesNoFile()
    {
        QDir(m_home.path()).removeRecursively();
        QDir().mkpath(m_home.path());
        AppContext ctx;
        ctx.ProgramFolder = m_program.path();
        Form1 form(ctx);
        form.load();

        const QString data = m_home.filePath(QStringLiteral("Torvelle"));
        QCOMPARE(ctx.DataFolder, data);
        QCOMPARE(QDir(data).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"Ablage"});
        QVERIFY(QDir(data + QStringLiteral("/Ablage")).isEmpty());
        QVERIFY(QDir(m_program.path()).isEmpty());

        QCOMPARE(form.Label_vers->text(),
                 QStringLiteral("V %1.%2.%3").arg(KESSVENN_VERSION_MAJOR).arg(KESSVENN_VERSION_MINOR).arg(KESSVENN_VERSION_PATCH));
        for (QLabel* label : form.label_einsatz)
            QVERIFY(label->text().isEmpty());
        QCOMPARE(ctx.settings.ServerAddress, QStringLiteral("localhost"));
        QCOMPARE(ctx.ServerPort, quint16(4750));
        QCOMPARE(ctx.FrameEnd.toLatin1(), QByteArray("\x02\x02\x02\x03\x03\x03\x04\x04\x04\x04"));
        QVERIFY(!ctx.MonitorName.isEmpty());
        QCOMPARE(ctx.TickerPath, data + QStringLiteral("/ticker.dat"));
        QCOMPARE(ctx.LastAlarmPath, data + QStringLiteral("/last.dat"));
        QCOMPARE(form.ucGMap1->GZoom(), 16);
    }

    void closingEndsAtOnceAndWritesNothing()
    {
        QDir(m_home.path()).removeRecursively();
        QDir().mkpath(m_home.path());
        AppContext ctx;
        ctx.ProgramFolder = m_program.path();
        int ended = 0;
        ctx.endProcess = [&] { ++ended; };
        QSignalSpy ending(&ctx, &AppContext::ending);
        Form1 form(ctx);
        form.load();
        form.show();
        form.cmd_ende->click();
        QCOMPARE(ctx.ist_ende(), qint16(1));
        QCOMPARE(ending.count(), 1);
        QCOMPARE(ended, 1);
        QVERIFY(!form.Timer1->isActive());
        QVERIFY(!form.isVisible());
        QCOMPARE(QDir(ctx.DataFolder).entryList(QDir::Files), QStringList());
    }
};

QTEST_MAIN(Form1Test)
#include "tst_Form1.moc"
