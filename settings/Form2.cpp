#include "settings/Form2.h"

#include "common/AppContext.h"
#include "config/StationSettings.h"
#include "settings/ProxyPort.h"
#include "settings/SettingsFile.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>

#include <algorithm>

namespace {

// The dialog is designed in pixels at 96 dots per inch. The proxy group stands below the sound
// group, so the dialog is taller than the original design's 540 pixels.
constexpr int kClientWidth = 763;
constexpr int kClientHeight = 652;
constexpr int kButtonTop = 600;

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

} // namespace

Form2::Form2(AppContext& ctx, StationSettings& settings, QWidget* parent)
    : QDialog(parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
            | Qt::MSWindowsFixedSizeDialogHint)
    , m_ctx(ctx)
    , m_settings(settings)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Einstellungen"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xE0, 0xE0, 0xE0));
    setPalette(pal);
    setFixedSize(kClientWidth, kClientHeight);
    // The frame line runs through the middle of the group's title, so the controls' design tops
    // (measured from the group's top edge) sit inside the frame.
    setStyleSheet(QStringLiteral("QWidget { font-family: Arial; font-size: 7.5pt; }"
                                 "QGroupBox { border: 1px solid #a8a8a8; border-radius: 2px; margin-top: 6px; }"
                                 "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0px 3px; }"
                                 // The password box shows a star for each character.
                                 "QLineEdit { lineedit-password-character: 42; }"));

    createControls();
    fillFromSettings();

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
    makeLabel(this, QStringLiteral("IP-Adresse des ELS-Rechners"), 16, 16, 169, 25)->setAlignment(Qt::AlignVCenter);
    txt_Server = makeText(this, QStringLiteral("txt_Server"), 200, 16, 193, 25);

    soundGroup = new QGroupBox(QStringLiteral("Soundausgabe / Sprachausgabe"), this);
    soundGroup->setGeometry(16, 56, 737, 425);
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

    proxyGroup = new QGroupBox(QStringLiteral("Proxyserver"), this);
    proxyGroup->setGeometry(16, 488, 737, 97);
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
    cmd_save->setGeometry(320, kButtonTop, 137, 41);
    cmd_save->setAutoDefault(false);
    Command2 = new QPushButton(QStringLiteral("Schließen"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(616, kButtonTop, 137, 41);
    Command2->setAutoDefault(false);

    lbl_problem = makeLabel(this, QString(), 16, kButtonTop, 289, 41);
    lbl_problem->setObjectName(QStringLiteral("lbl_problem"));
    lbl_problem->setWordWrap(true);
    lbl_problem->setStyleSheet(QStringLiteral("QLabel { color: #b00000; }"));
    lbl_problem->hide();

    connect(cmd_dialog, &QPushButton::clicked, this, &Form2::cmd_dialog_Click);
    connect(cmd_save, &QPushButton::clicked, this, &Form2::cmd_save_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(txt_proxy[1], &QLineEdit::textEdited, this, [this] { markPort(false); });
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
    // Refuse before anything is copied: a port that does not fit is not saved as something else.
    const std::optional<quint16> port = ProxyPortFromText(txt_proxy[1]->text());
    if (!port) {
        markPort(true);
        txt_proxy[1]->setFocus();
        showProblem(QStringLiteral("Nicht gespeichert: Der Port muss eine ganze Zahl bis 32767 sein."));
        return;
    }

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

    // The new values hold for this run either way; a file that could not be written is said so
    // here, in the dialog, instead of closing as if it had been saved.
    if (!SaveSettings(m_ctx, m_settings)) {
        showProblem(QStringLiteral("Die Einstellungen gelten bis zum Programmende, konnten aber nicht in die "
                                   "Datei geschrieben werden."));
        return;
    }
    close();
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
