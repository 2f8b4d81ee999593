#include "settings/CrewPage.h"

#include "crew/CrewFile.h"

#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QList<QStringList> rowsOf(const CrewFile& file)
{
    QList<QStringList> rows;
    for (const CrewFile::Member& member : file.members())
        rows.append({ member.pagerId, member.name, member.qualifications.join(QLatin1Char(' ')) });
    return rows;
}

// A field as the crew file's reader takes it back: in double quotes where it holds the separator
// or a quote.
QString field(const QString& text)
{
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')))
        return text;
    QString quoted = text;
    return QLatin1Char('"') + quoted.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

} // namespace

CrewPage::CrewPage(const QString& path, bool privacy, QWidget* parent)
    : TablePage(path, { QStringLiteral("Melder"), QStringLiteral("Name"), QStringLiteral("Qualifikationen") }, parent)
    , m_privacy(privacy)
{
    setObjectName(QStringLiteral("Mannschaft"));
    if (privacy) {
        // Not one name is read into the page: a hall screen is seen by everyone in the hall.
        for (QWidget* child : findChildren<QWidget*>())
            child->hide();
        say(QStringLiteral("Diese Anzeige ist eine Hallenanzeige (display.ini privacy=1): die Namen der Mannschaft "
                           "werden hier nicht gezeigt. mannschaft.csv bitte an einem Rechner ohne Hallenanzeige "
                           "bearbeiten."));
        findChild<QWidget*>(QStringLiteral("said"))->show();
        return;
    }
    setRows(rowsOf(CrewFile::read(path)), true);
    auto* importButton = new QPushButton(QStringLiteral("Importieren…"), this);
    importButton->setObjectName(QStringLiteral("import"));
    importButton->setAutoDefault(false);
    importButton->setToolTip(QStringLiteral("Die Mitgliederliste aus einer Tabelle übernehmen (CSV oder Unicode-Text; "
                                            "Spalten Melder, Name, Qualifikationen)"));
    column()->insertWidget(2, importButton, 0, Qt::AlignLeft);
    connect(importButton, &QPushButton::clicked, this, [this] {
        const QString chosen = pickFile ? pickFile(this) : QString();
        if (!chosen.isEmpty())
            import(chosen);
    });
}

bool CrewPage::import(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > CrewFile::kMostBytes) {
        say(QStringLiteral("%1 lässt sich nicht lesen (oder ist größer als 4 MB).").arg(path));
        return false;
    }
    const CrewFile read = CrewFile::parse(file.readAll(), QFileInfo(path).fileName());
    setRows(rowsOf(read), false);
    QString text = QStringLiteral("%1 Einträge aus %2 übernommen; gespeichert wird mit \"Speichern\".")
                       .arg(read.size())
                       .arg(QFileInfo(path).fileName());
    if (!read.warnings().isEmpty())
        text += QStringLiteral(" Einige Zeilen ließen sich nicht lesen und fehlen (Einzelheiten im Journal).");
    say(text);
    return true;
}

bool CrewPage::valid(QString* why) const
{
    if (m_privacy)
        return true;
    QSet<QString> seen;
    const QList<QStringList> all = rows();
    for (int r = 0; r < all.size(); ++r) {
        QString problem;
        if (all[r][0].isEmpty())
            problem = QStringLiteral("in Zeile %1 fehlt der Melder.").arg(r + 1);
        else if (seen.contains(all[r][0]))
            problem = QStringLiteral("den Melder %1 gibt es zweimal.").arg(all[r][0]);
        else if (all[r].join(QString()).contains(QLatin1Char('\n')))
            problem = QStringLiteral("Zeile %1 enthält einen Zeilenumbruch.").arg(r + 1);
        seen.insert(all[r][0]);
        if (!problem.isEmpty()) {
            if (why)
                *why = QStringLiteral("Mannschaft: ") + problem;
            return false;
        }
    }
    return true;
}

bool CrewPage::changed() const
{
    return !m_privacy && TablePage::changed();
}

QByteArray CrewPage::bytesOf(const QList<QStringList>& rows) const
{
    QString text = QStringLiteral("Melder;Name;Qualifikation\n");
    for (const QStringList& row : rows)
        text += field(row[0]) + QLatin1Char(';') + field(row[1]) + QLatin1Char(';') + field(row[2]) + QLatin1Char('\n');
    return text.toUtf8();
}
