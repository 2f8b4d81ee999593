#include "common/NumberText.h"

#include <QTest>

#include <clocale>

class NumberTextTest : public QObject {
    Q_OBJECT

private slots:
    void readInt16_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "8080" << true << 8080;
        QTest::newRow("blanks first") << "   12" << true << 12;
        QTest::newRow("text after") << "8080 x" << true << 8080;
        QTest::newRow("negative") << "-17" << true << -17;
        QTest::newRow("plus") << "+3" << true << 3;
        QTest::newRow("empty") << "" << true << 0;
        QTest::newRow("letter") << "a1" << true << 0;
        QTest::newRow("comma is no separator") << "2,5" << true << 2;
        QTest::newRow("half to even down") << "2.5" << true << 2;
        QTest::newRow("half to even up") << "3.5" << true << 4;
        QTest::newRow("negative half") << "-2.5" << true << -2;
        QTest::newRow("above half") << "2.51" << true << 3;
        QTest::newRow("fraction only") << ".5" << true << 0;
        QTest::newRow("max") << "32767" << true << 32767;
        QTest::newRow("min") << "-32768" << true << -32768;
        QTest::newRow("just above") << "32768" << false << 0;
        QTest::newRow("rounds out of range") << "32767.5" << false << 0;
        QTest::newRow("far out") << "99999" << false << 0;
        QTest::newRow("huge") << QString(400, QLatin1Char('9')) << false << 0;
        QTest::newRow("sign alone") << "-" << true << 0;
        QTest::newRow("tab is not a blank") << "\t5" << true << 0;
    }

    void readInt16()
    {
        QFETCH(QString, text);
        QFETCH(bool, fits);
        QFETCH(int, value);
        const auto result = NumberText::readInt16(text);
        QCOMPARE(result.has_value(), fits);
        if (fits)
            QCOMPARE(int(*result), value);
    }

    void exponentOnlyWhenAsked()
    {
        QCOMPARE(NumberText::readLeadingNumber(u"1.5e3"), 1.5);
        QCOMPARE(NumberText::readLeadingNumber(u"1.5e3", {.allowExponent = true}), 1500.0);
        QCOMPARE(NumberText::readLeadingNumber(u"2e", {.allowExponent = true}), 2.0);
    }

    void pointWhateverTheLocale()
    {
        // A German locale must not turn the point into something else.
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
        QCOMPARE(NumberText::readLeadingNumber(u"48.25"), 48.25);
        std::setlocale(LC_NUMERIC, "C");
    }
};

QTEST_GUILESS_MAIN(NumberTextTest)
#include "tst_NumberText.moc"
