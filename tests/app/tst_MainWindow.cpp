#include "app/Form1.h"
#include "common/AppContext.h"
#include "map/ucGMap.h"
#include "settings/Form2.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

void fillGrid(QTableWidget* grid, int rows)
{
    grid->setColumnCount(3);
    grid->setRowCount(rows);
    for (int r = 0; r < rows; ++r)
        grid->setItem(r, 0, new QTableWidgetItem(QStringLiteral("row %1").arg(r)));
}

// What the incident display and its neighbours show, to compare before and after a command.
QStringList screenTexts(const Form1& form)
{
    QStringList texts;
    for (const QLabel* label : form.label_einsatz)
        texts << label->text();
    texts << form.Label2[0]->text() << form.Label2[1]->text() << form.Label4->text() << form.lbl_Zoom->text();
    for (const QTableWidget* grid : { form.MSFlexGrid1, form.Grid_Melder, form.Grid_Status }) {
        texts << QString::number(grid->rowCount());
        for (int r = 0; r < grid->rowCount(); ++r)
            texts << (grid->item(r, 0) ? grid->item(r, 0)->text() : QString());
    }
    texts << QString::number(form.List_Doku->model() ? form.List_Doku->model()->rowCount() : -1);
    return texts;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    std::unique_ptr<AppContext> m_ctx;
    std::unique_ptr<Form1> m_form;
    int m_asked = 0;
    QString m_askedTitle;
    QString m_askedQuestion;

    Form1& form() { return *m_form; }

    // A window with an alarm on screen, a status grid, a list and a stored last alarm.
    void showAlarm()
    {
        Form1& f = form();
        for (int i = 0; i < 9; ++i)
            f.label_einsatz[i]->setText(QStringLiteral("text %1").arg(i));
        f.Label2[0]->setText(QStringLiteral("06.12.2026"));
        f.Label2[1]->setText(QStringLiteral("19:42"));
        f.Label4->setText(QStringLiteral("Einsatz"));
        fillGrid(f.MSFlexGrid1, 4);
        fillGrid(f.Grid_Melder, 3);
        fillGrid(f.Grid_Status, 2);
        auto* model = new QStandardItemModel(2, 5, f.List_Doku);
        f.List_Doku->setModel(model);
    }

    void answer(bool yes)
    {
        form().askYesNo = [this, yes](QWidget*, const QString& title, const QString& question) {
            ++m_asked;
            m_askedTitle = title;
            m_askedQuestion = question;
            return yes;
        };
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
    }

    void init()
    {
        m_ctx = std::make_unique<AppContext>();
        m_ctx->ProgramFolder = m_home.path();
        m_ctx->DataFolder = m_home.path();
        m_form = std::make_unique<Form1>(*m_ctx);
        m_form->Timer1->stop();
        m_asked = 0;
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void cleanup()
    {
        m_form.reset();
        m_ctx.reset();
    }

    // ---- layout -------------------------------------------------------------------------------

    void layoutFollowsTheWindowSize_data()
    {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QRect>("melder");
        QTest::addColumn<QRect>("status");
        QTest::addColumn<int>("endLeft");

        // 18960 × 14040 twips: the pager grid 4680 × 2720, the status grid 4680 × 4000 below it.
        QTest::newRow("design size") << QSize(1264, 936) << QRect(952, 488, 312, 181) << QRect(952, 669, 312, 267)
                                     << 1087;
        // 1333 pixels are 19995 twips, still narrow; 1334 are 20010, wide.
        QTest::newRow("last narrow") << QSize(1333, 936) << QRect(952, 488, 381, 181) << QRect(952, 669, 381, 267)
                                     << 1156;
        QTest::newRow("first wide") << QSize(1334, 936) << QRect(952, 488, 263, 448) << QRect(1215, 488, 119, 448)
                                    << 1157;
        QTest::newRow("full HD") << QSize(1920, 1080) << QRect(952, 488, 263, 592) << QRect(1215, 488, 705, 592)
                                 << 1743;
    }

    void layoutFollowsTheWindowSize()
    {
        QFETCH(QSize, client);
        QFETCH(QRect, melder);
        QFETCH(QRect, status);
        QFETCH(int, endLeft);
        Form1& f = form();
        f.resize(client);
        QTRY_COMPARE(f.size(), client);
        QCOMPARE(f.Grid_Melder->geometry(), melder);
        QCOMPARE(f.Grid_Status->geometry(), status);
        QCOMPARE(f.cmd_ende->geometry(), QRect(endLeft, 8, 153, 33));
        QCOMPARE(f.MSFlexGrid1->geometry(), QRect(640, 488, 311, client.height() - 488));
        QCOMPARE(f.List_Doku->geometry(), QRect(0, 688, 641, client.height() - 688));
        QCOMPARE(f.roLabel1_1->geometry(), QRect(0, 0, client.width(), 49));
        for (const QLabel* label : f.label_einsatz)
            QCOMPARE(label->width(), client.width() - 640);
        QCOMPARE(f.label_einsatz[1]->geometry(), QRect(640, 48, client.width() - 640, 73));
        // The map is never resized.
        QCOMPARE(f.ucGMap1->geometry(), QRect(0, 48, 640, 640));
    }

    void wideAndBackToNarrow()
    {
        Form1& f = form();
        f.resize(1264, 936);
        QTRY_COMPARE(f.size(), QSize(1264, 936));
        const QRect melder = f.Grid_Melder->geometry();
        const QRect status = f.Grid_Status->geometry();
        f.resize(1920, 1080);
        QTRY_COMPARE(f.size(), QSize(1920, 1080));
        QCOMPARE(f.Grid_Status->y(), 488);
        f.resize(1264, 936);
        QTRY_COMPARE(f.size(), QSize(1264, 936));
        QCOMPARE(f.Grid_Melder->geometry(), melder);
        QCOMPARE(f.Grid_Status->geometry(), status);
    }

    void lowWindowKeepsThePagerGridsHeight()
    {
        Form1& f = form();
        f.resize(1264, 936);
        QTRY_COMPARE(f.size(), QSize(1264, 936));
        // 700 pixels are 10500 twips: below 11320 the pager grid's new height would be negative.
        f.resize(1264, 700);
        QTRY_COMPARE(f.size(), QSize(1264, 700));
        QCOMPARE(f.Grid_Melder->geometry(), QRect(952, 488, 312, 181));
        QCOMPARE(f.Grid_Status->geometry(), QRect(952, 669, 312, 31));
        QCOMPARE(f.List_Doku->height(), 12);
    }

    // A minimised window reports no client area; every negative result is refused.
    void minimisedChangesNothingVisible()
    {
        Form1& f = form();
        f.resize(1264, 936);
        QTRY_COMPARE(f.size(), QSize(1264, 936));
        QList<QRect> before;
        for (QWidget* w : { static_cast<QWidget*>(f.Grid_Melder), static_cast<QWidget*>(f.Grid_Status),
                 static_cast<QWidget*>(f.MSFlexGrid1), static_cast<QWidget*>(f.List_Doku),
                 static_cast<QWidget*>(f.cmd_ende), static_cast<QWidget*>(f.label_einsatz[7]) })
            before << w->geometry();
        QResizeEvent minimised(QSize(0, 0), f.size());
        QApplication::sendEvent(&f, &minimised);
        QList<QRect> after;
        for (QWidget* w : { static_cast<QWidget*>(f.Grid_Melder), static_cast<QWidget*>(f.Grid_Status),
                 static_cast<QWidget*>(f.MSFlexGrid1), static_cast<QWidget*>(f.List_Doku),
                 static_cast<QWidget*>(f.cmd_ende), static_cast<QWidget*>(f.label_einsatz[7]) })
            after << w->geometry();
        QCOMPARE(after, before);
    }

    void documentationColumns()
    {
        Form1& f = form();
        // The list gets its five columns at start-up, after the window was first laid out.
        auto* model = new QStandardItemModel(0, 5, f.List_Doku);
        f.List_Doku->setModel(model);
        QHeaderView* header = f.List_Doku->horizontalHeader();
        QCOMPARE(header->sectionSize(0), 30);
        QCOMPARE(header->sectionSize(1), 70);
        QCOMPARE(header->sectionSize(2), 100);
        QCOMPARE(header->sectionSize(3), 100);
        QCOMPARE(header->sectionSize(4), 641 - 300 - 20);

        // Column 4 takes what the list reports for the others, here a column that cannot be as
        // narrow as asked.
        header->setMinimumSectionSize(40);
        f.resize(1300, 900);
        QTRY_COMPARE(f.size(), QSize(1300, 900));
        QCOMPARE(header->sectionSize(0), 40);
        QCOMPARE(header->sectionSize(4), 641 - 310 - 20);
    }

    // ---- shortcuts ----------------------------------------------------------------------------

    void shortcuts_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("zoom"); // expected GZoom after the release (starts at 16)
        QTest::addColumn<int>("mapType"); // expected MapType (starts at 1)
        QTest::addColumn<int>("asked"); // times the clear question was asked

        const int none = int(Qt::NoModifier);
        const int ctrl = int(Qt::ControlModifier);
        const int shift = int(Qt::ShiftModifier);
        const int alt = int(Qt::AltModifier);
        for (int i = 0; i < 8; ++i) {
            QTest::addRow("F%d", i + 2) << int(Qt::Key_F2 + i) << none << "Form1" << 12 + i << 1 << 0;
        }
        QTest::newRow("F2 on the units grid") << int(Qt::Key_F2) << none << "MSFlexGrid1" << 12 << 1 << 0;
        QTest::newRow("F9 on the list") << int(Qt::Key_F9) << none << "List_Doku" << 19 << 1 << 0;
        QTest::newRow("F4 on the map") << int(Qt::Key_F4) << none << "ucGMap1" << 14 << 1 << 0;
        QTest::newRow("F5 on a label") << int(Qt::Key_F5) << none << "label_einsatz(7)" << 15 << 1 << 0;
        QTest::newRow("F3 on a button") << int(Qt::Key_F3) << none << "cmd_Settings" << 13 << 1 << 0;
        QTest::newRow("Shift+F2") << int(Qt::Key_F2) << shift << "Form1" << 16 << 1 << 0;
        QTest::newRow("Ctrl+F2") << int(Qt::Key_F2) << ctrl << "Form1" << 16 << 1 << 0;
        QTest::newRow("Alt+F2") << int(Qt::Key_F2) << alt << "Form1" << 16 << 1 << 0;
        QTest::newRow("F1") << int(Qt::Key_F1) << none << "Form1" << 16 << 1 << 0;
        QTest::newRow("F10") << int(Qt::Key_F10) << none << "Form1" << 16 << 1 << 0;
        QTest::newRow("Ctrl+S") << int(Qt::Key_S) << ctrl << "Form1" << 16 << 0 << 0;
        QTest::newRow("Ctrl+A") << int(Qt::Key_A) << ctrl << "Form1" << 16 << 1 << 0;
        QTest::newRow("Ctrl+H") << int(Qt::Key_H) << ctrl << "Grid_Status" << 16 << 2 << 0;
        QTest::newRow("Ctrl+T") << int(Qt::Key_T) << ctrl << "List_Doku" << 16 << 3 << 0;
        QTest::newRow("Ctrl+C") << int(Qt::Key_C) << ctrl << "Grid_Melder" << 16 << 1 << 1;
        QTest::newRow("S alone") << int(Qt::Key_S) << none << "Form1" << 16 << 1 << 0;
        QTest::newRow("Shift+S") << int(Qt::Key_S) << shift << "Form1" << 16 << 1 << 0;
        QTest::newRow("Ctrl+Alt+S") << int(Qt::Key_S) << (ctrl | alt) << "Form1" << 16 << 1 << 0;
        QTest::newRow("Ctrl+Shift+T") << int(Qt::Key_T) << (ctrl | shift) << "Form1" << 16 << 1 << 0;
        QTest::newRow("Ctrl+Shift+C") << int(Qt::Key_C) << (ctrl | shift) << "Form1" << 16 << 1 << 0;
        QTest::newRow("Ctrl+Alt+C") << int(Qt::Key_C) << (ctrl | alt) << "Form1" << 16 << 1 << 0;
        QTest::newRow("C alone") << int(Qt::Key_C) << none << "Form1" << 16 << 1 << 0;
        QTest::newRow("Ctrl+X") << int(Qt::Key_X) << ctrl << "Form1" << 16 << 1 << 0;
        // The keypad and Meta keys are not among the modifiers that matter.
        QTest::newRow("Meta+F6") << int(Qt::Key_F6) << int(Qt::MetaModifier) << "Form1" << 16 << 1 << 0;
    }

    void shortcuts()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, target);
        QFETCH(int, zoom);
        QFETCH(int, mapType);
        QFETCH(int, asked);
        answer(false);
        Form1& f = form();
        f.ucGMap1->setGZoom(16);
        f.ucGMap1->setMapType(1);
        QWidget* receiver = target == QLatin1String("Form1") ? &f : f.findChild<QWidget*>(target);
        QVERIFY(receiver);
        receiver->setFocusPolicy(Qt::StrongFocus);
        receiver->setFocus();

        // Nothing happens on the press; the release acts.
        QTest::keyPress(receiver, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(f.ucGMap1->GZoom(), 16);
        QCOMPARE(m_asked, 0);
        QTest::keyRelease(receiver, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

        QCOMPARE(f.ucGMap1->GZoom(), zoom);
        QCOMPARE(f.lbl_Zoom->text(), zoom == 16 ? QStringLiteral("16") : QString::number(zoom));
        QCOMPARE(f.ucGMap1->MapType(), mapType);
        QCOMPARE(m_asked, asked);
    }

    void autoRepeatReleasesAreIgnored()
    {
        Form1& f = form();
        f.ucGMap1->setGZoom(16);
        QKeyEvent repeated(QEvent::KeyRelease, Qt::Key_F2, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(f.MSFlexGrid1, &repeated);
        QCOMPARE(f.ucGMap1->GZoom(), 16);
        QKeyEvent last(QEvent::KeyRelease, Qt::Key_F2, Qt::NoModifier, QString(), false);
        QApplication::sendEvent(f.MSFlexGrid1, &last);
        QCOMPARE(f.ucGMap1->GZoom(), 12);
    }

    // The settings dialog is a window of its own: Ctrl+C there copies text and clears nothing.
    void keysInTheSettingsDialogAreTheDialogs()
    {
        answer(true);
        Form1& f = form();
        f.label_einsatz[1]->setText(QStringLiteral("B 3"));
        f.cmd_Settings->click();
        Form2* dialog = f.settingsDialog();
        QVERIFY(dialog);
        QTest::keyClick(dialog->txt_Server, Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(dialog->txt_Server, Qt::Key_F2);
        QCOMPARE(m_asked, 0);
        QCOMPARE(f.lbl_Zoom->text(), QStringLiteral("16"));
        QCOMPARE(f.label_einsatz[1]->text(), QStringLiteral("B 3"));
    }

    // ---- commands -----------------------------------------------------------------------------

    void zoomButtons()
    {
        Form1& f = form();
        for (int i = 0; i < 8; ++i) {
            f.cmd_zoom[i]->click();
            QCOMPARE(f.ucGMap1->GZoom(), 12 + i);
            QCOMPARE(f.lbl_Zoom->text(), QString::number(12 + i));
        }
    }

    void mapTypeButtonsLeaveTheZoomLabel()
    {
        Form1& f = form();
        f.cmd_zoom[6]->click();
        for (int i : { 2, 0, 3, 1 }) {
            f.cmd_Anbieter[i]->click();
            QCOMPARE(f.ucGMap1->MapType(), i);
            QCOMPARE(f.lbl_Zoom->text(), QStringLiteral("18"));
        }
    }

    void clearAnsweredNo()
    {
        showAlarm();
        const QStringList before = screenTexts(form());
        answer(false);
        form().cmd_Clear->click();
        QCOMPARE(m_asked, 1);
        QCOMPARE(m_askedQuestion, QStringLiteral("Einsatzdaten entfernen?"));
        QCOMPARE(m_askedTitle, QStringLiteral("Kessvenn"));
        QCOMPARE(screenTexts(form()), before);
    }

    void clearAnsweredYes()
    {
        showAlarm();
        Form1& f = form();
        const QString lastAlarm = QDir(m_ctx->DataFolder).filePath(QStringLiteral("last.dat"));
        m_ctx->LastAlarmPath = lastAlarm;
        QFile file(lastAlarm);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("WACHALARM\r\nEinsatz\r\n");
        file.close();

        answer(true);
        QTest::keyClick(f.Grid_Status, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(m_asked, 1);
        for (const QLabel* label : f.label_einsatz)
            QCOMPARE(label->text(), QString());
        QCOMPARE(f.Label2[0]->text(), QString());
        QCOMPARE(f.Label2[1]->text(), QString());
        QCOMPARE(f.Label4->text(), QString());
        // Only the headings are left.
        QCOMPARE(f.MSFlexGrid1->rowCount(), 0);
        QCOMPARE(f.Grid_Melder->rowCount(), 0);
        QCOMPARE(f.MSFlexGrid1->columnCount(), 3);
        // The status grid, the list, the zoom and the stored alarm stay.
        QCOMPARE(f.Grid_Status->rowCount(), 2);
        QCOMPARE(f.Grid_Status->item(1, 0)->text(), QStringLiteral("row 1"));
        QCOMPARE(f.List_Doku->model()->rowCount(), 2);
        QCOMPARE(f.lbl_Zoom->text(), QStringLiteral("16"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("WACHALARM\r\nEinsatz\r\n"));
    }

    // An alarm that arrives while the question is open is not what the operator chose to clear.
    void alarmArrivingDuringTheQuestionStays()
    {
        showAlarm();
        Form1& f = form();
        f.askYesNo = [&](QWidget*, const QString&, const QString&) {
            f.label_einsatz[1]->setText(QStringLiteral("TH 1 - Person in Aufzug"));
            fillGrid(f.MSFlexGrid1, 2);
            return true;
        };
        f.cmd_Clear->click();
        QCOMPARE(f.label_einsatz[1]->text(), QStringLiteral("TH 1 - Person in Aufzug"));
        QCOMPARE(f.label_einsatz[2]->text(), QStringLiteral("text 2"));
        QCOMPARE(f.MSFlexGrid1->rowCount(), 2);
        QCOMPARE(f.Grid_Melder->rowCount(), 3);
    }

    // The window's own question: a message box with a question mark, Yes and No, No by default.
    void theRealQuestionBox()
    {
        Form1& g = form();
        g.label_einsatz[0]->setText(QStringLiteral("Brand"));
        QString text;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        bool answerYes = false;
        const auto respond = [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            buttons = box->standardButtons();
            defaultButton = box->standardButton(box->defaultButton());
            box->button(answerYes ? QMessageBox::Yes : QMessageBox::No)->click();
        };
        QTimer::singleShot(0, this, respond);
        g.cmd_Clear->click();
        QCOMPARE(text, QStringLiteral("Einsatzdaten entfernen?"));
        QCOMPARE(title, QStringLiteral("Kessvenn"));
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No));
        QCOMPARE(defaultButton, QMessageBox::No);
        QCOMPARE(g.label_einsatz[0]->text(), QStringLiteral("Brand"));

        answerYes = true;
        QTimer::singleShot(0, this, respond);
        g.cmd_Clear->click();
        QCOMPARE(g.label_einsatz[0]->text(), QString());
    }

    void settingsTwiceGivesOneDialogWithItsEdits()
    {
        Form1& f = form();
        m_ctx->settings.ServerAddress = QStringLiteral("els.wache.local");
        f.cmd_Settings->click();
        Form2* first = f.settingsDialog();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QVERIFY(!first->isModal());
        QCOMPARE(first->txt_Server->text(), QStringLiteral("els.wache.local"));
        first->txt_Server->setText(QStringLiteral("10.0.0.7"));

        f.cmd_Settings->click();
        QCOMPARE(f.settingsDialog(), first);
        QCOMPARE(first->txt_Server->text(), QStringLiteral("10.0.0.7"));
        int open = 0;
        for (const Form2* d : f.findChildren<Form2*>())
            open += d->isVisible() ? 1 : 0;
        QCOMPARE(open, 1);
        // The main window goes on working meanwhile.
        QTest::keyRelease(&f, Qt::Key_F7);
        QCOMPARE(f.lbl_Zoom->text(), QStringLiteral("17"));

        // Closed without saving, the next opening starts from the settings again.
        first->Command2->click();
        QVERIFY(!f.settingsDialog());
        f.cmd_Settings->click();
        QVERIFY(f.settingsDialog());
        QCOMPARE(f.settingsDialog()->txt_Server->text(), QStringLiteral("els.wache.local"));
        QCOMPARE(m_ctx->settings.ServerAddress, QStringLiteral("els.wache.local"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_MainWindow.moc"
