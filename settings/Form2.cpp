#include "settings/Form2.h"

#include "common/AppContext.h"
#include "config/Configuration.h"
#include "config/StationSettings.h"
#include "crew/CrewFile.h"
#include "crew/VehicleBoard.h"
#include "map/MapConfig.h"
#include "print/CupsQueue.h"
#include "route/RouteSettings.h"
#include "settings/CalendarPage.h"
#include "settings/CrewPage.h"
#include "settings/ProxyPort.h"
#include "settings/SchemaPage.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTrial.h"
#include "settings/VehiclePage.h"
#include "settings/WaterPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

#include <memory>
#include <thread>

#include <algorithm>

namespace {

// The dialog fits a screen of 1024 by 768 pixels with its frame and a panel; a page that is
// taller scrolls. The controls of "Leitstelle" and "Ansage" are placed in pixels at 96 dots per
// inch, as designed.
constexpr int kClientWidth = 990;
constexpr int kClientHeight = 660;
constexpr int kRecordWidth = 763;

constexpr int kCheckHeight = 17;
constexpr int kTextHeight = 19;
constexpr int kLabelHeight = 17;

const QString kRefusedPortSheet = QStringLiteral("QLineEdit { border: 2px solid #d00000; background: #fff0f0; }");

QLabel* makeLabel(QWidget* parent, const QString& text, int left, int top, int width, int height = kLabelHeight)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(left, top, width, height);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QCheckBox* makeCheck(
    QWidget* parent, const QString& name, const QString& text, int left, int top, int width, int height = kCheckHeight)
{
    auto* check = new QCheckBox(text, parent);
    check->setObjectName(name);
    check->setGeometry(left, top, width, height);
    return check;
}

QLineEdit* makeText(QWidget* parent, const QString& name, int left, int top, int width, int height = kTextHeight)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(left, top, width, height);
    return edit;
}

void makeSeparator(QWidget* parent, int left, int top, int width)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(left, top, width, 2);
}

bool flagOf(const QCheckBox* check)
{
    return check->isChecked();
}

// "Leitstelle" and "Ansage": the controls of the settings record, placed as designed. Both save
// settings.dat as a whole.
class RecordPage : public SettingsPage {
public:
    RecordPage(const QString& title, QSize size, std::function<bool(QString*)> valid, std::function<bool()> changed,
        std::function<bool(QString*)> save)
        : m_title(title)
        , m_valid(std::move(valid))
        , m_changed(std::move(changed))
        , m_save(std::move(save))
    {
        setObjectName(title);
        setMinimumSize(size);
    }
    QString title() const override { return m_title; }
    bool valid(QString* why) const override { return m_valid(why); }
    bool changed() const override { return m_changed(); }
    bool save(QString* error) override { return m_save(error); }

private:
    QString m_title;
    std::function<bool(QString*)> m_valid;
    std::function<bool()> m_changed;
    std::function<bool(QString*)> m_save;
};

// The record as settings.dat holds it: the server and the speech text as written, not what the
// program puts in their place when they are empty ("localhost", the default sabbel.txt).
StationSettings recordAsWritten(const AppContext& ctx, const ConfigValues& values)
{
    StationSettings record = LoadSettings(ctx, values);
    record.ServerAddress = values.text(u"server");
    record.SpeechTextFile = values.text(u"speech_text");
    return record;
}

} // namespace

Form2::Form2(AppContext& ctx, Configuration& config, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_ctx(ctx)
    , m_config(config)
    , m_settings(recordAsWritten(ctx, config.values(ConfigFile::Settings)))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Einstellungen"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xE0, 0xE0, 0xE0));
    setPalette(pal);
    resize(kClientWidth, kClientHeight);
    // The frame line runs through the middle of the group's title, so the controls' design tops
    // (measured from the group's top edge) sit inside the frame.
    setStyleSheet(QStringLiteral("QWidget { font-family: Arial; font-size: 7.5pt; }"
                                 "QGroupBox { border: 1px solid #a8a8a8; border-radius: 2px; margin-top: 6px; }"
                                 "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0px 3px; }"
                                 // The password box shows a star for each character.
                                 "QLineEdit { lineedit-password-character: 42; }"));

    createControls();
    fillFromSettings();
    createPages();
    createTrials();

    pickFile = [](QWidget* parent, const QString& folder, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, QString(), folder, filter);
    };
}

QString Form2::speechProgramFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\Programme");
#else
    return QStringLiteral("/usr/bin");
#endif
}

QString Form2::speechProgramFilter()
{
    // Programs carry no ".exe" outside Windows, so there every file is offered.
#ifdef Q_OS_WIN
    return QStringLiteral("(Exe-Dateien) (*.exe)");
#else
    return QStringLiteral("Alle Dateien (*)");
#endif
}

void Form2::createControls()
{
    const auto recordValid = [this](QString* why) {
        if (ProxyPortFromText(txt_proxy[1]->text()))
            return true;
        if (why)
            *why = QStringLiteral("Der Port muss eine ganze Zahl bis 32767 sein.");
        return false;
    };
    const auto recordChanged = [this] { return recordControls() != m_recordSaved; };
    const auto recordSave = [this](QString* error) { return saveRecord(error); };
    auto* station = new RecordPage(
        QStringLiteral("Leitstelle"), QSize(kRecordWidth, 170), recordValid, recordChanged, recordSave);
    auto* speech = new RecordPage(
        QStringLiteral("Ansage"), QSize(kRecordWidth, 640), [](QString*) { return true; }, recordChanged, recordSave);
    m_stationPage = station;
    m_speechPage = speech;
    addPage(station);
    addPage(speech);

    QWidget* l = station;
    makeLabel(l, QStringLiteral("IP-Adresse des ELS-Rechners"), 16, 16, 169, 25)->setAlignment(Qt::AlignVCenter);
    txt_Server = makeText(l, QStringLiteral("txt_Server"), 200, 16, 193, 25);

    soundGroup = new QGroupBox(QStringLiteral("Soundausgabe / Sprachausgabe"), speech);
    soundGroup->setGeometry(16, 16, 737, 425);
    QWidget* g = soundGroup;

    check_datei = makeCheck(g, QStringLiteral("check_datei"),
        QStringLiteral("Die Datei \"alarm.wav\" bei einem Alarmeingang abspielen (muss sich im "
                       "Installationsverzeichnis befinden) "),
        16, 32, 601);
    makeSeparator(g, 16, 64, 705);
    check_sound[10] = makeCheck(g, QStringLiteral("check_sound(10)"),
        QStringLiteral("Ein vorhandenes Sprachprogramm soll den Alarmtext ansagen"), 16, 80, 657);

    makeLabel(g, QStringLiteral("Programmpfad des Sprachprogramms:"), 16, 104, 209);
    txt_settings[0] = makeText(g, QStringLiteral("txt_settings(0)"), 208, 104, 409);
    cmd_dialog = new QPushButton(QStringLiteral("..."), g);
    cmd_dialog->setObjectName(QStringLiteral("cmd_dialog"));
    cmd_dialog->setGeometry(680, 104, 41, 25);

    makeLabel(g, QStringLiteral("Aufrufparameter vor dem Dateinamen"), 16, 128, 201);
    txt_settings[4] = makeText(g, QStringLiteral("txt_settings(4)"), 208, 128, 225);
    makeLabel(g, QStringLiteral("Aufrufparameter nach dem Dateinamen"), 16, 152, 201);
    txt_settings[5] = makeText(g, QStringLiteral("txt_settings(5)"), 208, 152, 225);
    makeSeparator(g, 16, 176, 705);

    makeLabel(g,
        QStringLiteral("Dateiname: In diese Datei soll der Monitor die Einsatzdaten schreiben, die vom "
                       "Sprachprogramm vorgelesen werden soll (beachte Schreibrechte)"),
        16, 184, 705);
    txt_settings[1] = makeText(g, QStringLiteral("txt_settings(1)"), 16, 200, 689);
    lbl_speechText = makeLabel(speech, QString(), 16, 449, 737, 34);
    lbl_speechText->setObjectName(QStringLiteral("lbl_speechText"));
    lbl_speechText->setWordWrap(true);
    makeLabel(g,
        QStringLiteral("Der Monitor soll bei jedem neuen Einsatz folgendende Einsatzdaten in diese Datei "
                       "hinein schreiben"),
        16, 224, 505);

    check_sound[0]
        = makeCheck(g, QStringLiteral("check_sound(0)"), QStringLiteral("Diesen Freitext vorweg:"), 16, 240, 137);
    txt_settings[2] = makeText(g, QStringLiteral("txt_settings(2)"), 152, 240, 553);

    const char* const parts[8]
        = { "Meldebild", "Stichwort", "Ortsname", "Straße + HNr", "Zusatz", "Stadtteil", "Objekt", "a.g.O." };
    const int lefts[8] = { 16, 88, 160, 232, 320, 376, 440, 496 };
    const int widths[8] = { 73, 73, 65, 81, 57, 57, 57, 49 };
    for (int i = 0; i < 8; ++i) {
        check_sound[i + 1] = makeCheck(
            g, QStringLiteral("check_sound(%1)").arg(i + 1), QString::fromUtf8(parts[i]), lefts[i], 264, widths[i]);
    }
    check_em[0] = makeCheck(g, QStringLiteral("check_em(0)"), QStringLiteral("eingesetzte EM"), 560, 264, 97);

    check_sound[9]
        = makeCheck(g, QStringLiteral("check_sound(9)"), QStringLiteral("Diesen Freitext hinterher:"), 16, 288, 137);
    txt_settings[3] = makeText(g, QStringLiteral("txt_settings(3)"), 152, 288, 553);
    makeSeparator(g, 16, 312, 705);

    makeLabel(g,
        QStringLiteral("Nach oder anstelle  obiger Ausgabe der  Einsatzdaten können außerdem die alarmierten "
                       "Einsatzmittel aufgerufen werden."),
        16, 320, 641);
    check_em[1] = makeCheck(g, QStringLiteral("check_em(1)"),
        QStringLiteral("Es existiert für jedes Einsatzmittel eine Wavedatei im Ordner \"Sounds\" des "
                       "Datenordners. Diese soll der Monitor abspielen."),
        16, 336, 641, 25);
    makeLabel(g,
        QStringLiteral("Der Dateiname lautet für jedes Einsatzmittel: Rufname+\".wav\"  (Beispiel: Rufname = "
                       "\"Ret 4520\", Dateiname = \"Ret 4520.wav\")"),
        32, 360, 601);
    makeLabel(
        g, QStringLiteral("Beachte: Die Rufnamen dürfen dann aber nicht diese Zeichen enthalten: "), 32, 376, 617);
    makeLabel(g, QStringLiteral("/ \\ ~ . : ; | "), 384, 376, 89);

    proxyGroup = new QGroupBox(QStringLiteral("Proxyserver"), l);
    proxyGroup->setGeometry(16, 56, 737, 97);
    QWidget* p = proxyGroup;
    Check_Proxy = makeCheck(p, QStringLiteral("Check_Proxy"),
        QStringLiteral("Proxyserver für die Internetverbindung verwenden"), 8, 16, 297);
    makeLabel(p, QStringLiteral("Proxyserver:"), 16, 40, 73);
    txt_proxy[0] = makeText(p, QStringLiteral("txt_proxy(0)"), 96, 40, 281);
    txt_proxy[0]->setMaxLength(250);
    makeLabel(p, QStringLiteral("Port:"), 16, 64, 73);
    txt_proxy[1] = makeText(p, QStringLiteral("txt_proxy(1)"), 96, 64, 65);
    txt_proxy[1]->setMaxLength(8);
    txt_proxy[1]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Check_aut = makeCheck(p, QStringLiteral("Check_aut"), QStringLiteral("Authentisierung erforderlich"), 448, 24, 257);
    makeLabel(p, QStringLiteral("Login:"), 464, 48, 73);
    Text_Login[0] = makeText(p, QStringLiteral("Text_Login(0)"), 544, 48, 177);
    makeLabel(p, QStringLiteral("Passwort:"), 464, 72, 73);
    Text_Login[1] = makeText(p, QStringLiteral("Text_Login(1)"), 544, 72, 177);
    Text_Login[1]->setEchoMode(QLineEdit::Password);

    cmd_save = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Speichern"), this);
    cmd_save->setObjectName(QStringLiteral("cmd_save"));
    cmd_save->setFixedSize(137, 41);
    cmd_save->setAutoDefault(false);
    Command2 = new QPushButton(QStringLiteral("Schließen"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setFixedSize(137, 41);
    Command2->setAutoDefault(false);

    lbl_problem = new QLabel(this);
    lbl_problem->setTextFormat(Qt::PlainText);
    lbl_problem->setObjectName(QStringLiteral("lbl_problem"));
    lbl_problem->setWordWrap(true);
    lbl_problem->setStyleSheet(QStringLiteral("QLabel { color: #b00000; }"));
    lbl_problem->hide();

    auto* dialog = new QVBoxLayout(this);
    auto* body = new QHBoxLayout;
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("pageList"));
    m_list->setFixedWidth(170);
    m_stack = new QStackedWidget(this);
    body->addWidget(m_list);
    body->addWidget(m_stack, 1);
    dialog->addLayout(body, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lbl_problem, 1);
    buttons->addWidget(cmd_save);
    buttons->addSpacing(24);
    buttons->addWidget(Command2);
    dialog->addLayout(buttons);
    for (SettingsPage* page : std::as_const(m_pages)) {
        auto* scroll = new QScrollArea(m_stack);
        scroll->setWidgetResizable(true);
        scroll->setWidget(page);
        m_stack->addWidget(scroll);
        m_list->addItem(page->title());
    }
    connect(m_list, &QListWidget::currentRowChanged, m_stack, &QStackedWidget::setCurrentIndex);
    m_list->setCurrentRow(0);

    connect(cmd_dialog, &QPushButton::clicked, this, &Form2::cmd_dialog_Click);
    connect(cmd_save, &QPushButton::clicked, this, &Form2::cmd_save_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(txt_proxy[1], &QLineEdit::textEdited, this, [this] { markPort(false); });
    connect(txt_settings[1], &QLineEdit::textChanged, this, &Form2::showSpeechText);
}

void Form2::addPage(SettingsPage* page)
{
    m_pages.append(page);
    if (m_stack) {
        auto* scroll = new QScrollArea(m_stack);
        scroll->setWidgetResizable(true);
        scroll->setWidget(page);
        m_stack->addWidget(scroll);
        m_list->addItem(page->title());
    }
    connect(page, &SettingsPage::edited, this, [this] {
        for (const SettingsPage* p : std::as_const(m_pages)) {
            QString why;
            if (!p->valid(&why)) {
                showProblem(why);
                return;
            }
        }
        lbl_problem->hide();
    });
}

void Form2::createPages()
{
    for (const ConfigFile file : configFiles()) {
        if (file != ConfigFile::Settings)
            addPage(new SchemaPage(file, m_config, { QStringLiteral("calendar") }));
    }
    const bool privacy = m_config.values(ConfigFile::Display).flag(QStringLiteral("privacy"));
    addPage(new CrewPage(m_ctx.dataFile(CrewFile::FileName), privacy));
    addPage(new VehiclePage(m_ctx.dataFile(VehicleBoard::FileName)));
    auto* water = new WaterPage(m_config.values(ConfigFile::Map).text(QStringLiteral("water")), m_ctx.DataFolder);
    addPage(water);
    addPage(new CalendarPage(m_config));
    // An index imported where map.ini named none is named there, saved with the map's page.
    connect(water, &WaterPage::indexChosen, this, [this](const QString& index) {
        auto* map = qobject_cast<SchemaPage*>(page(SchemaPage::titleOf(ConfigFile::Map)));
        if (auto* field = map ? qobject_cast<QLineEdit*>(map->field(QStringLiteral("water"))) : nullptr)
            field->setText(index);
    });
    // The printers CUPS knows, asked on a worker: the scheduler may be slow to answer.
    if (auto* print = qobject_cast<SchemaPage*>(page(SchemaPage::titleOf(ConfigFile::Print)))) {
        print->offerChoices(QStringLiteral("printer"), { { QString(), QStringLiteral("Standarddrucker") } });
        // The worker holds the guard but never reads it: only the window's thread does.
        const auto guard = std::make_shared<QPointer<SchemaPage>>(print);
        std::thread([guard] {
            const QStringList queues = CupsQueue::queues();
            QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, queues] {
                SchemaPage* page = guard->data();
                if (!page)
                    return;
                QList<std::pair<QString, QString>> offered;
                for (const QString& queue : queues)
                    offered.append({ queue, queue });
                page->offerChoices(QStringLiteral("printer"), offered);
            });
        }).detach();
    }
}

QPushButton* Form2::addTrial(QLayout* layout, const QString& caption, std::function<void()> start)
{
    auto* row = new QWidget;
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto* button = new QPushButton(caption, row);
    button->setObjectName(caption);
    button->setAutoDefault(false);
    button->setMinimumWidth(120);
    auto* result = new QLabel(row);
    result->setObjectName(QStringLiteral("result"));
    result->setTextFormat(Qt::PlainText);
    result->setWordWrap(true);
    line->addWidget(button, 0, Qt::AlignTop);
    line->addWidget(result, 1);
    layout->addWidget(row);
    connect(button, &QPushButton::clicked, this, [button, result, start] {
        button->setEnabled(false);
        result->setStyleSheet(QString());
        result->setText(QStringLiteral("Wird geprüft …"));
        start();
    });
    return button;
}

void Form2::showTrialResult(QPushButton* button, bool ok, const QString& text)
{
    button->setEnabled(true);
    QLabel* result = trialResult(button);
    result->setStyleSheet(
        ok ? QStringLiteral("QLabel { color: #006000; }") : QStringLiteral("QLabel { color: #b00000; }"));
    result->setText(text);
}

QLabel* Form2::trialResult(QPushButton* button) const
{
    return button ? button->parentWidget()->findChild<QLabel*>(QStringLiteral("result")) : nullptr;
}

void Form2::createTrials()
{
    m_trial = new SettingsTrial(m_ctx, this);
    connect(m_trial, &SettingsTrial::finished, this, [this](SettingsTrial::Trial trial, bool ok, const QString& text) {
        if (QPushButton* button = m_trialButtons.value(int(trial)))
            showTrialResult(button, ok, text);
    });

    auto* speechTrials = new QWidget(m_speechPage);
    speechTrials->setGeometry(16, 490, 737, 144);
    auto* speechRows = new QVBoxLayout(speechTrials);
    speechRows->setContentsMargins(0, 0, 0, 0);
    cmd_soundTrial = addTrial(speechRows, QStringLiteral("Ton prüfen"), [this] { m_trial->playSound(); });
    cmd_speechTrial = addTrial(speechRows, QStringLiteral("Ansage prüfen"), [this] {
        m_trial->speak(
            { txt_settings[0]->text(), txt_settings[1]->text(), txt_settings[4]->text(), txt_settings[5]->text() });
    });
    // The whole way of an alarm, on the running station: screen, sounds, speech, paper, history.
    cmd_testAlarm = addTrial(speechRows, QStringLiteral("Probealarm"), [this] {
        const auto [ok, text]
            = testAlarm ? testAlarm() : std::pair(false, QStringLiteral("Kein Probealarm: kein Monitor verbunden"));
        showTrialResult(cmd_testAlarm, ok, text);
    });
    m_trialButtons.insert(int(SettingsTrial::Trial::Sound), cmd_soundTrial);
    m_trialButtons.insert(int(SettingsTrial::Trial::Speech), cmd_speechTrial);

    if (auto* print = qobject_cast<SchemaPage*>(page(SchemaPage::titleOf(ConfigFile::Print)))) {
        cmd_printTrial = addTrial(print->tail(), QStringLiteral("Testdruck"), [this, print] {
            const auto* printer = qobject_cast<QComboBox*>(print->field(QStringLiteral("printer")));
            m_trial->printTest(printer ? printer->currentData().toString() : QString());
        });
        m_trialButtons.insert(int(SettingsTrial::Trial::Print), cmd_printTrial);
    }
    if (auto* map = qobject_cast<SchemaPage*>(page(SchemaPage::titleOf(ConfigFile::Map)))) {
        // The values as they stand on the page, saved or not.
        const auto route = [map] { return RouteSettings::from(ConfigValues::parse(ConfigFile::Map, map->fileText())); };
        // Around the station: the map's centre before any alarm.
        const auto centre = [route] {
            const RouteSettings r = route();
            return r.station ? *r.station : QPointF();
        };
        auto* address = new QHBoxLayout;
        address->addWidget(new QLabel(QStringLiteral("Adresse für die Probe der Adresssuche:"), map));
        txt_trialAddress = new QLineEdit(map);
        txt_trialAddress->setObjectName(QStringLiteral("txt_trialAddress"));
        address->addWidget(txt_trialAddress, 1);
        map->tail()->addLayout(address);
        cmd_mapTrial = addTrial(map->tail(), QStringLiteral("Karte prüfen"), [this, map, centre] {
            m_trial->setRecord(m_settings);
            m_trial->tryMap(MapConfig::from(ConfigValues::parse(ConfigFile::Map, map->fileText())), centre(),
                txt_trialAddress->text());
        });
        cmd_routeTrial = addTrial(map->tail(), QStringLiteral("Route prüfen"), [this, route] {
            // From the station to a point about 1.5 km north-east of it.
            const RouteSettings r = route();
            m_trial->tryRoute(r, r.station ? *r.station + QPointF(0.01, 0.01) : QPointF());
        });
        m_trialButtons.insert(int(SettingsTrial::Trial::Map), cmd_mapTrial);
        m_trialButtons.insert(int(SettingsTrial::Trial::Route), cmd_routeTrial);
    }
}

SettingsPage* Form2::page(const QString& title) const
{
    for (SettingsPage* page : m_pages) {
        if (page->title() == title)
            return page;
    }
    return nullptr;
}

void Form2::showPage(const QString& title)
{
    for (int i = 0; i < m_pages.size(); ++i) {
        if (m_pages[i]->title() == title)
            m_list->setCurrentRow(i);
    }
}

QStringList Form2::recordControls() const
{
    QStringList state { txt_Server->text(), txt_proxy[0]->text(), txt_proxy[1]->text(), Text_Login[0]->text(),
        Text_Login[1]->text() };
    for (const QLineEdit* edit : txt_settings)
        state.append(edit->text());
    QList<const QCheckBox*> checks { check_datei, check_em[0], check_em[1], Check_Proxy, Check_aut };
    checks.append(QList<const QCheckBox*>(check_sound.cbegin(), check_sound.cend()));
    for (const QCheckBox* check : checks)
        state.append(check->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    return state;
}

void Form2::showSpeechText()
{
    lbl_speechText->setText(QStringLiteral("Verwendet wird: %1").arg(SpeechTextPath(m_ctx, txt_settings[1]->text())));
}

void Form2::showEvent(QShowEvent* event)
{
    // Placed once, when it first opens; QDialog then keeps that place instead of centring the
    // dialog on the main window.
    if (!event->spontaneous() && !m_placed) {
        m_placed = true;
        placeOnScreen();
    }
    QDialog::showEvent(event);
}

void Form2::placeOnScreen()
{
    // Centred on the screen of the main window, frame included as far as the window system has
    // told it; a screen smaller than the dialog keeps its top left corner, so that the title bar
    // stays in reach.
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect placed(QPoint(), frameGeometry().size());
    placed.moveCenter(area.center());
    move(std::max(placed.left(), area.left()), std::max(placed.top(), area.top()));
}

void Form2::fillFromSettings()
{
    const StationSettings& s = m_settings;
    const auto tick = [](QCheckBox* check, bool flag) { check->setChecked(flag); };
    txt_Server->setText(s.ServerAddress);
    tick(check_datei, s.PlayAlarmWav);
    tick(check_sound[10], s.SpeechEnabled);
    txt_settings[0]->setText(s.SpeechProgramPath);
    txt_settings[1]->setText(s.SpeechTextFile);
    txt_settings[4]->setText(s.SpeechArgsBefore);
    txt_settings[5]->setText(s.SpeechArgsAfter);
    txt_settings[2]->setText(s.LeadText);
    txt_settings[3]->setText(s.TrailText);
    tick(check_sound[0], s.SpeakLeadText);
    tick(check_sound[9], s.SpeakTrailText);
    tick(check_sound[1], s.SpeakIncidentType);
    tick(check_sound[2], s.SpeakKeyword);
    tick(check_sound[3], s.SpeakTown);
    tick(check_sound[4], s.SpeakStreet);
    tick(check_sound[5], s.SpeakSupplement);
    tick(check_sound[6], s.SpeakDistrict);
    tick(check_sound[7], s.SpeakObject);
    tick(check_sound[8], s.SpeakOutsideTown);
    tick(check_em[0], s.SpeakUnits);
    tick(check_em[1], s.PlayUnitWavs);
    txt_proxy[0]->setText(s.ProxyServer);
    txt_proxy[1]->setText(QString::number(s.ProxyPort));
    tick(Check_Proxy, s.UseProxy);
    tick(Check_aut, s.ProxyAuthRequired);
    Text_Login[0]->setText(s.ProxyLogin);
    Text_Login[1]->setText(s.ProxyPassword);
    m_recordSaved = recordControls();
    showSpeechText();
}

void Form2::cmd_dialog_Click()
{
    if (!pickFile)
        return;
    const QString chosen = pickFile(this, speechProgramFolder(), speechProgramFilter());
    if (!chosen.isEmpty())
        txt_settings[0]->setText(chosen);
}

void Form2::cmd_save_Click()
{
    // Nothing is saved while a page cannot be used: a port that does not fit is not saved as
    // something else.
    for (SettingsPage* page : std::as_const(m_pages)) {
        QString why;
        if (!page->valid(&why)) {
            showPage(page->title());
            if (page == m_stationPage) {
                markPort(true);
                txt_proxy[1]->setFocus();
            }
            showProblem(QStringLiteral("Nicht gespeichert: ") + why);
            return;
        }
    }
    // Every page with changes, and only those: a file nobody changed is not written at all.
    QStringList failed;
    for (SettingsPage* page : std::as_const(m_pages)) {
        QString error;
        if (page->changed() && !page->save(&error))
            failed.append(error);
    }
    if (!failed.isEmpty()) {
        showProblem(failed.join(QLatin1Char('\n')));
        return;
    }
    close();
}

bool Form2::saveRecord(QString* error)
{
    const std::optional<quint16> port = ProxyPortFromText(txt_proxy[1]->text());
    if (!port)
        return false;

    StationSettings& s = m_settings;
    s.ServerAddress = txt_Server->text();
    s.PlayAlarmWav = flagOf(check_datei);
    s.SpeechEnabled = flagOf(check_sound[10]);
    s.SpeechProgramPath = txt_settings[0]->text();
    s.SpeechTextFile = txt_settings[1]->text();
    s.SpeechArgsBefore = txt_settings[4]->text();
    s.SpeechArgsAfter = txt_settings[5]->text();
    s.LeadText = txt_settings[2]->text();
    s.TrailText = txt_settings[3]->text();
    s.SpeakLeadText = flagOf(check_sound[0]);
    s.SpeakTrailText = flagOf(check_sound[9]);
    s.SpeakIncidentType = flagOf(check_sound[1]);
    s.SpeakKeyword = flagOf(check_sound[2]);
    s.SpeakTown = flagOf(check_sound[3]);
    s.SpeakStreet = flagOf(check_sound[4]);
    s.SpeakSupplement = flagOf(check_sound[5]);
    s.SpeakDistrict = flagOf(check_sound[6]);
    s.SpeakObject = flagOf(check_sound[7]);
    s.SpeakOutsideTown = flagOf(check_sound[8]);
    s.SpeakUnits = flagOf(check_em[0]);
    s.PlayUnitWavs = flagOf(check_em[1]);
    s.ProxyServer = txt_proxy[0]->text();
    s.ProxyPort = *port;
    s.UseProxy = flagOf(Check_Proxy);
    s.ProxyAuthRequired = flagOf(Check_aut);
    s.ProxyLogin = Text_Login[0]->text();
    s.ProxyPassword = Text_Login[1]->text();

    // A file that could not be written is said so in the dialog, instead of closing as if it had
    // been saved; the values in force stay. The Station takes the new record from the configuration (after an
    // announcement under way).
    if (!m_config.save(ConfigFile::Settings, SettingsLines(s), error)) {
        if (error && error->isEmpty())
            *error = QStringLiteral("Die Einstellungen konnten nicht in die Datei geschrieben werden.");
        return false;
    }
    m_recordSaved = recordControls();
    return true;
}

void Form2::Command2_Click()
{
    close();
}

void Form2::markPort(bool refused)
{
    txt_proxy[1]->setStyleSheet(refused ? kRefusedPortSheet : QString());
    txt_proxy[1]->setToolTip(refused ? QStringLiteral("Eine ganze Zahl bis 32767, zum Beispiel 8080") : QString());
    if (!refused)
        lbl_problem->hide();
}

void Form2::showProblem(const QString& text)
{
    lbl_problem->setText(text);
    lbl_problem->show();
}
