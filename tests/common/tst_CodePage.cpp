#include "common/CodePage.h"

#include <QTest>

class CodePageTest : public QObject {
    Q_OBJECT

private slots:
    void everyByteRoundTrips()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        const QString text = CodePage::decode(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(CodePage::encode(text), all);
        // Distinct bytes give distinct characters.
        QSet<QChar> seen(text.begin(), text.end());
        QCOMPARE(seen.size(), 256);
    }

    void germanText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("umlauts") << QByteArray("\xe4\xf6\xfc\xc4\xd6\xdc") << QStringLiteral("äöüÄÖÜ");
        QTest::newRow("sharp s") << QByteArray("Stra\xdf" "e") << QStringLiteral("Straße");
        QTest::newRow("euro") << QByteArray("5 \x80") << QStringLiteral("5 €");
        QTest::newRow("quotes and dashes") << QByteArray("\x84" "a\x93 \x96") << QStringLiteral("„a“ –");
        QTest::newRow("undefined byte stays a control") << QByteArray("\x81") << QString(QChar(0x81));
        QTest::newRow("NUL and TAB") << QByteArray("a\0\tb", 4) << QString::fromUtf16(u"a\0\tb", 4);
    }

    void germanText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(CodePage::decode(bytes), text);
        QCOMPARE(CodePage::encode(text), bytes);
    }

    void charactersOutsideTheCodePageBecomeQuestionMarks()
    {
        QCOMPARE(CodePage::encode(QStringLiteral("a\u0411b\u4e2d")), QByteArray("a?b?"));
    }
};

QTEST_GUILESS_MAIN(CodePageTest)
#include "tst_CodePage.moc"
