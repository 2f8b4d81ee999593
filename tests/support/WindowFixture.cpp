#include "tests/support/WindowFixture.h"
#include "tests/support/AlarmText.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QLabel>
#include <QTableWidget>

WindowFixture::WindowFixture()
{
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    ctx.ProgramFolder = home.path();
    restart();
}

void WindowFixture::restart()
{
    form.reset();
    station.reset();
    station = std::make_unique<Station>(ctx, Station::Link::Idle);
    form = std::make_unique<Form1>(*station);
    realQuestion = form->askYesNo;
    form->askYesNo = [this](QWidget*, const QString& title, const QString& question) {
        questions << title + QLatin1Char('|') + question;
        return answerYes;
    };
}

WindowFixture::~WindowFixture()
{
    form.reset();
    station.reset();
}

QStringList WindowFixture::incidentTexts() const
{
    QStringList texts;
    for (int i = 0; i < 9; ++i)
        texts << control<QLabel>(QStringLiteral("label_einsatz(%1)").arg(i))->text();
    texts << control<QLabel>(QStringLiteral("Label2(0)"))->text()
          << control<QLabel>(QStringLiteral("Label2(1)"))->text() << control<QLabel>(QStringLiteral("Label4"))->text();
    for (const char* name : { "MSFlexGrid1", "Grid_Melder", "Grid_Status" }) {
        const auto* grid = control<QTableWidget>(QString::fromLatin1(name));
        // The status grid's column 0 is the time of day a row came; its call name stands for it.
        const int column = grid->objectName() == QLatin1String("Grid_Status") ? 1 : 0;
        texts << QString::fromLatin1(name);
        for (int row = 0; row < grid->rowCount(); ++row)
            texts << (grid->item(row, column) ? grid->item(row, column)->text() : QString());
    }
    return texts;
}

QString WindowFixture::dataFile(const QString& name) const
{
    return QDir(home.filePath(QStringLiteral("Torvelle"))).filePath(name);
}

bool WindowFixture::putDataFile(const QString& name, const QByteArray& bytes)
{
    return QDir().mkpath(ctx.DataFolder = dataFile(QString())) && TestFiles::writeAll(dataFile(name), bytes);
}

QString WindowFixture::stationAlarm(const QString& keyword, const QStringList& units)
{
    return AlarmText::station(keyword, units);
}
