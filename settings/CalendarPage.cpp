#include "settings/CalendarPage.h"

#include "app/StationCalendar.h"
#include "config/Configuration.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <thread>

namespace {

const QString kKey = QStringLiteral("calendar");

// What the preview says for the file, read off the window's thread.
QString previewOf(const QString& path, const std::atomic<bool>* cancelled)
{
    if (path.isEmpty())
        return QStringLiteral("Kein Kalender eingetragen: die Ruheanzeige zeigt keine Termine.");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Die Datei lässt sich nicht lesen: %1").arg(path);
    if (file.size() > CalendarWatch::kMostBytes)
        return QStringLiteral("Die Datei ist größer als 4 MB und wird nicht gelesen.");
    const QDateTime now = QDateTime::currentDateTime();
    StationCalendar::Bounds bounds;
    bounds.cancelled = cancelled;
    const StationCalendar::Expansion read
        = StationCalendar::expand(file.readAll(), now, StationCalendar::kDays, bounds);
    if (!read.calendar)
        return QStringLiteral("Das ist keine iCalendar-Datei (.ics).");
    const QList<Appointment> next = StationCalendar::pick(read.appointments, now, StationCalendar::kDays, 10);
    if (next.isEmpty())
        return QStringLiteral("Keine Termine in den nächsten %1 Tagen.").arg(StationCalendar::kDays);
    QStringList lines;
    for (const Appointment& appointment : next)
        lines.append(StationCalendar::text(appointment));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

CalendarPage::CalendarPage(Configuration& config, QWidget* parent)
    : SettingsPage(parent)
    , m_config(config)
    , m_inForce(config.values(ConfigFile::Display).text(kKey))
{
    setObjectName(QStringLiteral("Kalender"));
    pickFile = [](QWidget* parent, const QString& start) {
        return QFileDialog::getOpenFileName(parent, QString(), start, QStringLiteral("iCalendar (*.ics)"));
    };
    auto* column = new QVBoxLayout(this);
    const ConfigKey* schemaKey = findConfigKey(ConfigFile::Display, kKey);
    auto* help = new QLabel(schemaKey ? schemaKey->help : QString(), this);
    help->setWordWrap(true);
    column->addWidget(help);
    auto* row = new QHBoxLayout;
    txt_calendar = new QLineEdit(m_inForce, this);
    txt_calendar->setObjectName(kKey);
    auto* pick = new QPushButton(QStringLiteral("…"), this);
    pick->setAutoDefault(false);
    row->addWidget(txt_calendar, 1);
    row->addWidget(pick);
    column->addLayout(row);
    column->addWidget(new QLabel(QStringLiteral("Die nächsten Termine:"), this));
    lbl_preview = new QLabel(this);
    lbl_preview->setObjectName(QStringLiteral("lbl_preview"));
    lbl_preview->setTextFormat(Qt::PlainText);
    lbl_preview->setWordWrap(true);
    lbl_preview->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    column->addWidget(lbl_preview, 1);
    connect(pick, &QPushButton::clicked, this, [this] {
        const QString start
            = txt_calendar->text().isEmpty() ? m_config.folder() : QFileInfo(txt_calendar->text()).absolutePath();
        const QString chosen = pickFile ? pickFile(this, start) : QString();
        if (!chosen.isEmpty())
            txt_calendar->setText(chosen);
    });
    connect(txt_calendar, &QLineEdit::textChanged, this, [this] {
        preview();
        emit edited();
    });
    preview();
}

CalendarPage::~CalendarPage()
{
    if (m_cancelled)
        *m_cancelled = true;
}

void CalendarPage::preview()
{
    if (m_cancelled)
        *m_cancelled = true;
    m_cancelled = std::make_shared<std::atomic<bool>>(false);
    lbl_preview->setText(QStringLiteral("Wird gelesen …"));
    const quint64 asked = ++m_asked;
    // The worker holds the guard but never reads it: only the window's thread does.
    const auto guard = std::make_shared<QPointer<CalendarPage>>(this);
    // Bounded in time by the expansion's bounds; a newer file name cancels it.
    std::thread([guard, asked, path = txt_calendar->text(), cancelled = m_cancelled] {
        const QString text = previewOf(path, cancelled.get());
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, asked, text] {
            CalendarPage* page = guard->data();
            if (!page || asked != page->m_asked)
                return;
            page->lbl_preview->setText(text);
            emit page->previewed();
        });
    }).detach();
}

bool CalendarPage::valid(QString* why) const
{
    const ConfigKey* schemaKey = findConfigKey(ConfigFile::Display, kKey);
    if (!schemaKey || configValueProblem(*schemaKey, txt_calendar->text()).isEmpty())
        return true;
    if (why)
        *why = QStringLiteral("Kalender: dieser Pfad ist nicht verwendbar.");
    return false;
}

bool CalendarPage::changed() const
{
    return txt_calendar->text() != m_inForce;
}

bool CalendarPage::save(QString* error)
{
    if (!m_config.save(ConfigFile::Display, { { kKey, txt_calendar->text() } }, error))
        return false;
    m_inForce = txt_calendar->text();
    return true;
}
