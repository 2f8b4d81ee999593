#include "app/Form1.h"
#include "common/AppContext.h"
#include "link/ServerLink.h"

#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QImage picture(const QLabel* label)
{
    return label->pixmap().toImage();
}

} // namespace

// The main window's timer keeps the link up, and its status picture follows the link.
class LinkPictureTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit()); }

    void pictureFollowsTheLink()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        AppContext ctx;
        ctx.settings.ServerAddress = QStringLiteral("127.0.0.1");
        ctx.ServerPort = server.serverPort();
        Form1 form(ctx);
        const QImage down = picture(form.Image_Server[0]);
        const QImage up = picture(form.Image_Server[1]);
        QVERIFY(up != down);

        // The first tick connects, the one after shows it.
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 5000);
        QTcpSocket* peer = server.nextPendingConnection();
        QTRY_COMPARE_WITH_TIMEOUT(picture(form.Image_S), up, 5000);
        QCOMPARE(form.serverLink->LinkStatus(), 1);

        // The dispatch computer goes away: not connected again, until it is back.
        peer->close();
        server.close();
        QTRY_COMPARE_WITH_TIMEOUT(picture(form.Image_S), down, 5000);
        QVERIFY(server.listen(QHostAddress::LocalHost, ctx.ServerPort));
        QTRY_COMPARE_WITH_TIMEOUT(picture(form.Image_S), up, 8000);

        // Shutdown closes the socket; the dispatch computer sees the connection end.
        QTRY_VERIFY(server.hasPendingConnections());
        QTcpSocket* second = server.nextPendingConnection();
        form.close();
        QCOMPARE(ctx.ist_ende(), 1);
        QCOMPARE(form.serverLink->LinkState(), 0);
        QTRY_COMPARE(second->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!form.Timer1->isActive());
    }

private:
    QTemporaryDir m_home;
};

QTEST_MAIN(LinkPictureTest)
#include "tst_LinkPicture.moc"
