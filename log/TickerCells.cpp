#include "log/TickerCells.h"

QString TickerCells::heading(int column)
{
    static const char* const headings[ColumnCount] = { "Nr", "Zeit", "Absender", "EA", "Text" };
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(headings[column]) : QString();
}

TickerCells TickerCells::Append_Ticker(QStringView strMessage, qint64 count)
{
    return zeige_alle_anderen_spalten(TickerRecord::fromLine(strMessage), count);
}

TickerCells TickerCells::zeige_alle_anderen_spalten(const TickerRecord& r, qint64 count)
{
    TickerCells cells;
    cells.caption[Nr] = QString::number(count);

    cells.caption[Zeit] = QStringLiteral("<font Arial;8><fgcolor=000000>") + r.timeLine1
        + QStringLiteral("<BR><font Arial;8><fgcolor=000000><B>") + r.timeLine2.left(5)
        + QStringLiteral("</B></FONT></fgcolor>");

    cells.caption[Absender]
        = QStringLiteral("<font Arial;10><fgcolor=000000><B>") + r.sender + QStringLiteral("</FONT></fgcolor>");
    cells.caption[EA]
        = QStringLiteral("<font Arial;10><fgcolor=000000><B>") + r.ea + QStringLiteral("</FONT></fgcolor>");

    QString text;
    if (!r.headline.isEmpty()) {
        text += QStringLiteral("<font Arial;10><fgcolor=0000FF><B>") + r.headline
            + QStringLiteral("</FONT></fgcolor><BR>");
    }
    if (!r.fromName.isEmpty()) {
        text += QStringLiteral("<font Arial;10><fgcolor=0A682B><B><i>") + QStringLiteral("Von: ") + r.fromName
            + QStringLiteral("</FONT></fgcolor><BR>");
    }
    // The body's "<CR>" markers become line breaks that go on in bold black 10-point text. Only the
    // body part is searched; the marker in any other letter case stays as it is.
    QString body = QStringLiteral("<font Arial;10><fgcolor=000000><B>") + r.body + QStringLiteral("</FONT></fgcolor>");
    body.replace(QStringLiteral("<CR>"), QStringLiteral("<BR><font Arial;10><fgcolor=000000><B>"), Qt::CaseSensitive);
    text += body;
    cells.caption[Text] = text;
    return cells;
}
