#include "alarm/AlarmRows.h"

#include <QTest>

class AlarmRowsTest : public QObject {
    Q_OBJECT

private slots:
    void statusRow_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QStringList>("row"); // empty: not inserted
        QTest::newRow("morning") << "WACHALARM_STATUS\tHLF 20\t3" << QTime(9, 5, 59) << QStringList{"09:05", "HLF 20", "3"};
        QTest::newRow("afternoon") << "WACHALARM_STATUS\tRTW 1\t4" << QTime(14, 30) << QStringList{"14:30", "RTW 1", "4"};
        QTest::newRow("midnight") << "WACHALARM_STATUS\tx\ty\tz" << QTime(0, 0) << QStringList{"00:00", "x", "y"};
        QTest::newRow("two fields") << "WACHALARM_STATUS\tRTW 1" << QTime(14, 30) << QStringList{};
        QTest::newRow("empty fields") << "WACHALARM_STATUS\t\t" << QTime(14, 30) << QStringList{"14:30", "", ""};
    }

    void statusRow()
    {
        QFETCH(QString, message);
        QFETCH(QTime, now);
        QFETCH(QStringList, row);
        const auto result = AlarmRows::statusRow(message, now);
        QCOMPARE(result.has_value(), !row.isEmpty());
        if (result)
            QCOMPARE(QStringList(result->begin(), result->end()), row);
    }

    void pagerRow_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("row");
        QTest::newRow("holder and id") << "WACHALARM_MELDER\tMüller\t0815" << QStringList{"Müller", "", "0815"};
        QTest::newRow("two fields") << "WACHALARM_MELDER\tMüller" << QStringList{};
        QTest::newRow("type only") << "WACHALARM_MELDER" << QStringList{};
    }

    void pagerRow()
    {
        QFETCH(QString, message);
        QFETCH(QStringList, row);
        const auto result = AlarmRows::pagerRow(message);
        QCOMPARE(result.has_value(), !row.isEmpty());
        if (result)
            QCOMPARE(QStringList(result->begin(), result->end()), row);
    }

    void feedback_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("handled");
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("colour");
        QTest::newRow("-1") << "-1" << true << "Unb." << 8582398;
        QTest::newRow("0") << "0" << true << "NICHT" << 9869054;
        QTest::newRow("1") << "1" << true << "kommt" << 65280;
        QTest::newRow("2") << "2" << true << "später" << 10682006;
        QTest::newRow("3 like -1") << "3" << true << "selbst" << 8582398;
        QTest::newRow("4") << "4" << true << "Sonst." << 16706464;
        QTest::newRow("2.5 to even") << "2.5" << true << "später" << 10682006;
        QTest::newRow("3.5 to even") << "3.5" << true << "Sonst." << 16706464;
        QTest::newRow("0.5 to even") << "0.5" << true << "NICHT" << 9869054;
        QTest::newRow("-1.5 to even") << "-1.5" << true << "" << 0;
        QTest::newRow("empty is 0") << "" << true << "NICHT" << 9869054;
        QTest::newRow("letters are 0") << "abc" << true << "NICHT" << 9869054;
        QTest::newRow("leading number") << "1 kommt" << true << "kommt" << 65280;
        QTest::newRow("5 out of table") << "5" << true << "" << 0;
        QTest::newRow("-2 out of table") << "-2" << true << "" << 0;
        QTest::newRow("32767") << "32767" << true << "" << 0;
        QTest::newRow("32768 out of 16 bits") << "32768" << false << "" << 0;
        QTest::newRow("-32769 out of 16 bits") << "-32769" << false << "" << 0;
        QTest::newRow("huge") << "1e400" << true << "kommt" << 65280; // the exponent is not read
        QTest::newRow("many digits") << QString(400, QLatin1Char('9')) << false << "" << 0;
    }

    void feedback()
    {
        QFETCH(QString, code);
        QFETCH(bool, handled);
        QFETCH(QString, word);
        QFETCH(int, colour);
        const auto result = AlarmRows::feedback(QStringLiteral("WACHALARM_RM\tid7\t") + code);
        QCOMPARE(result.has_value(), handled);
        if (!result)
            return;
        QCOMPARE(result->pagerId, QStringLiteral("id7"));
        QCOMPARE(result->word, word);
        QCOMPARE(result->colour, colour);
    }

    void feedbackWithFewerFields()
    {
        QVERIFY(!AlarmRows::feedback(QStringLiteral("WACHALARM_RM\tid7")));
        QVERIFY(!AlarmRows::feedback(QStringLiteral("WACHALARM_RM")));
    }
};

QTEST_GUILESS_MAIN(AlarmRowsTest)
#include "tst_AlarmRows.moc"
