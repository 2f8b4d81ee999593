#include "app/CaptionButton.h"
#include "app/FittingLabel.h"
#include "app/Form1.h"
#include "common/AppContext.h"

#include <QFontMetricsF>
#include <QImage>
#include <QTableWidget>
#include <QTest>

class WindowLookTest : public QObject {
    Q_OBJECT

private slots:
    void alarmLabelsFitTheirText_data()
    {
        QTest::addColumn<int>("label");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("smaller");
        QTest::newRow("short keyword") << 1 << "B 2" << false;
        QTest::newRow("long keyword") << 1 << "B 3 - Brand Wohnhaus mit Menschenleben in Gefahr" << true;
        QTest::newRow("street") << 2 << "Hauptstraße 12" << false;
        QTest::newRow("long street") << 2 << "Oberer Kirchenweg an der Alten Stadtmauer 124a" << true;
        QTest::newRow("short remark") << 7 << "Zufahrt über Hof" << false;
        QTest::newRow("long remark") << 7
                                     << "Anrufer sieht Rauch aus dem Dachfenster, eine Person vermutlich noch in der "
                                        "Wohnung. Zufahrt über die Hofeinfahrt, Hydrant vor dem Haus, Schlüssel beim "
                                        "Hausmeister im Erdgeschoss links."
                                     << true;
    }

    void alarmLabelsFitTheirText()
    {
        QFETCH(int, label);
        QFETCH(QString, text);
        QFETCH(bool, smaller);
        AppContext ctx;
        Form1 form(ctx);
        auto* fitting = qobject_cast<FittingLabel*>(form.label_einsatz[label]);
        QVERIFY(fitting);
        const double design = fitting->font().pointSizeF();
        fitting->setText(text);
        const FittingLabel::Fit fit = fitting->fitted();
        const QFont& drawn = fit.font;
        QCOMPARE(fitting->font().pointSizeF(), design);
        QCOMPARE(drawn.pointSizeF() < design, smaller);

        // What is drawn fits between the frame and the small labels on the left end.
        const QRect room = fitting->textRect();
        QVERIFY(room.left() >= fitting->coveredLeft());
        if (fitting->alignment() & Qt::AlignHCenter)
            QVERIFY(fitting->width() - 1 - room.right() >= fitting->coveredLeft());
        const QRectF needed = QFontMetricsF(drawn).boundingRect(QRectF(0, 0, room.width(), 10000), fit.flags, text);
        QVERIFY2(needed.width() <= room.width() + 0.5, qPrintable(QString::number(needed.width())));
        QVERIFY2(needed.height() <= room.height() + 0.5, qPrintable(QString::number(needed.height())));
    }

    // The fit follows the label's width and text, however often it was asked before.
    void fitFollowsWidthAndText()
    {
        AppContext ctx;
        Form1 form(ctx);
        auto* keyword = qobject_cast<FittingLabel*>(form.label_einsatz[1]);
        keyword->setText(QStringLiteral("B 3 - Brand Wohnhaus"));
        keyword->resize(900, keyword->height());
        QCOMPARE(keyword->fitted().font.pointSizeF(), 48.0);
        keyword->resize(400, keyword->height());
        const double narrow = keyword->fitted().font.pointSizeF();
        QVERIFY(narrow < 48.0);
        keyword->setText(QStringLiteral("B 3 - Brand Wohnhaus, Dachstuhl"));
        QVERIFY(keyword->fitted().font.pointSizeF() < narrow);
        keyword->setText(QStringLiteral("B 1"));
        QCOMPARE(keyword->fitted().font.pointSizeF(), 48.0);
    }

    void labelsBeneathSmallLabelsKeepClearOfThem()
    {
        AppContext ctx;
        Form1 form(ctx);
        auto coverOf = [&](int i) { return qobject_cast<FittingLabel*>(form.label_einsatz[i])->coveredLeft(); };
        QVERIFY(coverOf(1) >= form.Image_Blau->width());
        QVERIFY(coverOf(0) >= form.Label2[0]->width());
        QVERIFY(coverOf(2) >= form.Label4->width());
        QCOMPARE(coverOf(3), 0);
    }

    // Texts from the dispatch computer are shown as written, markup included.
    void alarmTextIsPlainText()
    {
        AppContext ctx;
        Form1 form(ctx);
        for (QLabel* label : form.label_einsatz)
            QCOMPARE(label->textFormat(), Qt::PlainText);
    }

    void mapButtonsShowValueAndKey_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("key");
        QTest::newRow("zoom 12") << "cmd_zoom(0)"
                                 << "12   (F2)"
                                 << "12"
                                 << "(F2)";
        QTest::newRow("zoom 19") << "cmd_zoom(7)"
                                 << "19   (F9)"
                                 << "19"
                                 << "(F9)";
        QTest::newRow("road") << "cmd_Anbieter(0)"
                              << "Straße  (strg+s)"
                              << "Straße"
                              << "(strg+s)";
        QTest::newRow("hybrid") << "cmd_Anbieter(2)"
                                << " Hybrid   (strg+h)"
                                << "Hybrid"
                                << "(strg+h)";
    }

    void mapButtonsShowValueAndKey()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, value);
        QFETCH(QString, key);
        AppContext ctx;
        Form1 form(ctx);
        auto* button = form.findChild<CaptionButton*>(name);
        QVERIFY(button);
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->valuePart(), value);
        QCOMPARE(button->keyPart(), key);
        QVERIFY(QFontMetrics(button->font()).horizontalAdvance(value) <= button->width());
    }

    // The feedback colour shows even on the grid's current cell: no selection colour hides it.
    void feedbackColourOnTheCurrentCell()
    {
        AppContext ctx;
        Form1 form(ctx);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTableWidget* grid = form.Grid_Melder;
        grid->setColumnCount(3);
        grid->setRowCount(1);
        grid->setItem(0, 0, new QTableWidgetItem(QStringLiteral("Becker, Tom")));
        auto* cell = new QTableWidgetItem(QString());
        grid->setItem(0, 1, cell);
        grid->setCurrentCell(0, 1);
        cell->setBackground(QColor(0, 255, 0));
        const QRect r = grid->visualItemRect(cell);
        const QImage shot = grid->viewport()->grab().toImage();
        QCOMPARE(shot.pixelColor(r.center()), QColor(0, 255, 0));
        QCOMPARE(grid->focusPolicy(), Qt::NoFocus);
    }
};

QTEST_MAIN(WindowLookTest)
#include "tst_WindowLook.moc"
