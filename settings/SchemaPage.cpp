#include "settings/SchemaPage.h"

#include "config/Configuration.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

namespace {

const QString kRefusedSheet = QStringLiteral("QLineEdit { border: 2px solid #d00000; background: #fff0f0; }");

// What a value of the type looks like, said to the station when a field cannot be used.
QString expected(const ConfigKey& schemaKey)
{
    const auto number = [](double value) { return QLocale(QLocale::German).toString(value, 'g', 12); };
    switch (schemaKey.type) {
    case KeyType::Whole:
    case KeyType::Decimal:
    case KeyType::TimeSpan:
        return QStringLiteral("Hier gehört eine Zahl von %1 bis %2 hin.")
            .arg(number(schemaKey.lowest), number(schemaKey.highest));
    case KeyType::Url:
        return QStringLiteral("Hier gehört %1eine Adresse hin, die mit http:// oder https:// beginnt.")
            .arg(schemaKey.choices.isEmpty() ? QString()
                                             : schemaKey.choices.join(QStringLiteral(", ")) + QStringLiteral(" oder "));
    case KeyType::Coordinates:
        return QStringLiteral("Hier gehören Breite und Länge mit Punkt hin, zum Beispiel 52.5163, 13.3777.");
    case KeyType::Choice:
        return QStringLiteral("Möglich ist: %1.").arg(schemaKey.choices.join(QStringLiteral(", ")));
    case KeyType::Command:
        return QStringLiteral("Dieser Befehl lässt sich nicht aufteilen (fehlt ein Anführungszeichen?).");
    case KeyType::Path:
        return QStringLiteral("Dieser Pfad ist nicht verwendbar.");
    case KeyType::Flag:
        return QStringLiteral("Hier gehört 1 (ja) oder 0 (nein) hin.");
    case KeyType::Text:
        if (schemaKey.check)
            return QStringLiteral("Hier gehört ein Wort hin, ohne Leerzeichen und Sonderzeichen.");
        break;
    case KeyType::Words:
    case KeyType::Secret:
        break;
    }
    return QStringLiteral("Dieser Wert ist nicht verwendbar.");
}

// Why `text` cannot stand as the key's value, by the rules the file is read with; empty when it can.
QString problemOf(const ConfigKey& schemaKey, const QString& text)
{
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        return QStringLiteral("Ein Wert steht in einer Zeile.");
    // The default stands for itself (an empty command: none).
    if (text == schemaKey.defaultText)
        return {};
    return configValueProblem(schemaKey, text).isEmpty() ? QString() : expected(schemaKey);
}

// A pattern key's names in the file ("radio.ric.1234567") stand in its field without the part
// before the pattern ("1234567=Alarm Löschzug Mitte"), one a line.
QString patternPrefix(const ConfigKey& schemaKey)
{
    return schemaKey.key.left(schemaKey.key.indexOf(QLatin1Char('<')));
}

// The field's lines as names of the file and their texts; what is wrong with the first bad line.
QList<std::pair<QString, QString>> patternLines(const ConfigKey& schemaKey, const QString& text, QString* why)
{
    QList<std::pair<QString, QString>> lines;
    int number = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        ++number;
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const QString name = patternPrefix(schemaKey) + line.left(eq).trimmed().toLower();
        const QString value = eq < 0 ? QString() : line.mid(eq + 1).trimmed();
        if (why && why->isEmpty()
            && (eq < 0 || findConfigKey(schemaKey.file, name) != &schemaKey
                || !configValueProblem(schemaKey, value).isEmpty()))
            *why = QStringLiteral("Zeile %1: Hier gehört „Nummer=Text“ hin, etwa 1234567=Alarm Löschzug Mitte oder "
                                  "1234567.A=Text.")
                       .arg(number);
        lines.append({ name, value });
    }
    return lines;
}

QString decimalText(double value)
{
    return QString::number(value, 'g', 12);
}

} // namespace

struct SchemaPage::Field {
    const ConfigKey* schemaKey = nullptr;
    QWidget* editor = nullptr;
    QLabel* problem = nullptr;
    std::function<QString()> text; // as it would stand in the file
    QString inForce; // text() of the value in force
    QString why; // empty while the field can be used
};

SchemaPage::SchemaPage(ConfigFile file, Configuration& config, const QStringList& leaveOut, QWidget* parent)
    : SettingsPage(parent)
    , m_file(file)
    , m_config(config)
{
    setObjectName(configFileName(file));
    pickFile
        = [](QWidget* parent, const QString& start) { return QFileDialog::getOpenFileName(parent, QString(), start); };
    auto* page = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    page->addLayout(form);
    m_tail = new QVBoxLayout;
    page->addLayout(m_tail);
    page->addStretch(1);
    for (const ConfigKey* schemaKey : configKeys(file)) {
        if (!leaveOut.contains(schemaKey->key))
            addField(*schemaKey);
    }
    for (Field* field : std::as_const(m_fields)) {
        auto* label = new QLabel(field->schemaKey->label, this);
        label->setBuddy(field->editor);
        label->setToolTip(configFileName(file) + QLatin1Char(' ') + field->schemaKey->key);
        form->addRow(label, field->editor->parentWidget());
    }
}

SchemaPage::~SchemaPage()
{
    qDeleteAll(m_fields);
}

QString SchemaPage::titleOf(ConfigFile file)
{
    switch (file) {
    case ConfigFile::Display:
        return QStringLiteral("Anzeige");
    case ConfigFile::Map:
        return QStringLiteral("Karte und Route");
    case ConfigFile::Print:
        return QStringLiteral("Ausdruck");
    case ConfigFile::History:
        return QStringLiteral("Einsatzarchiv");
    case ConfigFile::Paths:
        return QStringLiteral("Alarmwege");
    case ConfigFile::Settings:
        break;
    }
    return QStringLiteral("Leitstelle");
}

QString SchemaPage::title() const
{
    return titleOf(m_file);
}

void SchemaPage::addField(const ConfigKey& schemaKey)
{
    auto* field = new Field;
    field->schemaKey = &schemaKey;
    const ConfigValue& inForce = m_config.values(m_file).at(schemaKey.key);

    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* row = new QHBoxLayout;
    column->addLayout(row);

    const bool number
        = schemaKey.type == KeyType::Whole || schemaKey.type == KeyType::Decimal || schemaKey.type == KeyType::TimeSpan;
    const double low = schemaKey.highest > schemaKey.lowest ? schemaKey.lowest : 0;
    const double high = schemaKey.highest > schemaKey.lowest ? schemaKey.highest : std::numeric_limits<int>::max();
    if (schemaKey.type == KeyType::Flag && schemaKey.defaultText.isEmpty()) {
        // Not set means something of its own (the printout's informant: as the hall screen says).
        auto* combo = new QComboBox(box);
        combo->addItem(QStringLiteral("nicht gesetzt"), QString());
        combo->addItem(QStringLiteral("ja"), QStringLiteral("1"));
        combo->addItem(QStringLiteral("nein"), QStringLiteral("0"));
        combo->setCurrentIndex(!inForce.value.isValid() || inForce.line == 0 ? 0 : inForce.value.toBool() ? 1 : 2);
        connect(combo, &QComboBox::currentIndexChanged, this, &SettingsPage::edited);
        field->text = [combo] { return combo->currentData().toString(); };
        field->editor = combo;
    } else if (schemaKey.type == KeyType::Flag) {
        auto* check = new QCheckBox(box);
        check->setChecked(inForce.value.toBool());
        connect(check, &QCheckBox::toggled, this, &SettingsPage::edited);
        field->text = [check] { return check->isChecked() ? QStringLiteral("1") : QStringLiteral("0"); };
        field->editor = check;
    } else if (number && schemaKey.type == KeyType::Whole && inForce.value.isValid()) {
        auto* spin = new QSpinBox(box);
        spin->setRange(int(low), int(high));
        spin->setValue(inForce.value.toInt());
        connect(spin, &QSpinBox::valueChanged, this, &SettingsPage::edited);
        field->text = [spin] { return QString::number(spin->value()); };
        field->editor = spin;
    } else if (number && inForce.value.isValid()) {
        auto* spin = new QDoubleSpinBox(box);
        spin->setDecimals(3);
        spin->setRange(low, high);
        spin->setValue(inForce.value.toDouble());
        connect(spin, &QDoubleSpinBox::valueChanged, this, &SettingsPage::edited);
        field->text = [spin] { return decimalText(spin->value()); };
        field->editor = spin;
    } else if (!schemaKey.pattern.isEmpty()) {
        auto* edit = new QPlainTextEdit(box);
        QStringList lines;
        for (const auto& [name, value] : m_config.values(m_file).matching(schemaKey))
            lines << name.mid(patternPrefix(schemaKey).size()) + QLatin1Char('=') + value.text;
        edit->setPlainText(lines.join(QLatin1Char('\n')));
        edit->setTabChangesFocus(true);
        connect(edit, &QPlainTextEdit::textChanged, this, [this, field] {
            check(*field);
            emit edited();
        });
        field->text = [edit] { return edit->toPlainText(); };
        field->editor = edit;
    } else if (schemaKey.type == KeyType::Choice) {
        auto* combo = new QComboBox(box);
        if (schemaKey.defaultText.isEmpty())
            combo->addItem(QString(), QString());
        for (const QString& choice : schemaKey.choices)
            combo->addItem(choice, choice);
        const QString now = inForce.value.toString();
        if (combo->findData(now) < 0)
            combo->addItem(now, now);
        combo->setCurrentIndex(combo->findData(now));
        connect(combo, &QComboBox::currentIndexChanged, this, &SettingsPage::edited);
        field->text = [combo] { return combo->currentData().toString(); };
        field->editor = combo;
    } else {
        auto* edit = new QLineEdit(box);
        edit->setText(inForce.text);
        if (schemaKey.type == KeyType::Secret)
            edit->setEchoMode(QLineEdit::Password);
        connect(edit, &QLineEdit::textChanged, this, [this, field] {
            check(*field);
            emit edited();
        });
        field->text = [edit] { return edit->text(); };
        field->editor = edit;
        if (schemaKey.type == KeyType::Path) {
            auto* pick = new QPushButton(QStringLiteral("…"), box);
            pick->setObjectName(schemaKey.key + QStringLiteral("/pick"));
            pick->setAutoDefault(false);
            pick->setToolTip(QStringLiteral("Datei auswählen"));
            connect(pick, &QPushButton::clicked, this, [this, edit] {
                const QFileInfo now(edit->text());
                const QString start = edit->text().isEmpty() ? m_config.folder() : now.absolutePath();
                const QString chosen = pickFile ? pickFile(this, start) : QString();
                if (!chosen.isEmpty())
                    edit->setText(chosen);
            });
            row->addWidget(edit, 1);
            row->addWidget(pick);
        }
    }
    field->editor->setObjectName(schemaKey.key);
    if (row->isEmpty())
        row->addWidget(field->editor, 1);

    auto* help = new QLabel(schemaKey.help, box);
    help->setWordWrap(true);
    help->setTextFormat(Qt::PlainText);
    help->setStyleSheet(QStringLiteral("QLabel { color: #505050; }"));
    column->addWidget(help);
    field->problem = new QLabel(box);
    field->problem->setObjectName(schemaKey.key + QStringLiteral("/problem"));
    field->problem->setWordWrap(true);
    field->problem->setTextFormat(Qt::PlainText);
    field->problem->setStyleSheet(QStringLiteral("QLabel { color: #b00000; }"));
    field->problem->hide();
    column->addWidget(field->problem);

    field->inForce = field->text();
    m_fields.append(field);
    // A value in force shown in a line edit is checked too: the file may hold what cannot be used.
    if (qobject_cast<QLineEdit*>(field->editor) || !schemaKey.pattern.isEmpty())
        check(*field);
}

void SchemaPage::check(Field& field)
{
    if (!field.schemaKey->pattern.isEmpty()) {
        field.why.clear();
        patternLines(*field.schemaKey, field.text(), &field.why);
        field.editor->setToolTip(field.why);
        field.problem->setText(field.why);
        field.problem->setVisible(!field.why.isEmpty());
        return;
    }
    auto* edit = qobject_cast<QLineEdit*>(field.editor);
    if (!edit)
        return;
    field.why = problemOf(*field.schemaKey, edit->text());
    edit->setStyleSheet(field.why.isEmpty() ? QString() : kRefusedSheet);
    edit->setToolTip(field.why);
    field.problem->setText(field.why);
    field.problem->setVisible(!field.why.isEmpty());
}

void SchemaPage::offerChoices(const QString& key, const QList<std::pair<QString, QString>>& offered)
{
    const auto found
        = std::find_if(m_fields.cbegin(), m_fields.cend(), [&](const Field* f) { return f->schemaKey->key == key; });
    if (found == m_fields.cend())
        return;
    Field* field = *found;
    auto* combo = qobject_cast<QComboBox*>(field->editor);
    if (auto* edit = qobject_cast<QLineEdit*>(field->editor)) {
        combo = new QComboBox(edit->parentWidget());
        combo->setObjectName(key);
        const QString now = edit->text();
        combo->addItem(now, now);
        delete edit->parentWidget()->layout()->replaceWidget(edit, combo);
        delete edit;
        field->editor = combo;
        field->text = [combo] { return combo->currentData().toString(); };
        field->why.clear();
        field->problem->hide();
        connect(combo, &QComboBox::currentIndexChanged, this, &SettingsPage::edited);
    }
    if (!combo)
        return;
    for (const auto& [value, caption] : offered) {
        const int at = combo->findData(value);
        if (at < 0)
            combo->addItem(caption, value);
        else
            combo->setItemText(at, caption);
    }
}

QWidget* SchemaPage::field(const QString& key) const
{
    for (const Field* field : m_fields) {
        if (field->schemaKey->key == key)
            return field->editor;
    }
    return nullptr;
}

bool SchemaPage::valid(QString* why) const
{
    for (const Field* field : m_fields) {
        if (!field->why.isEmpty()) {
            if (why)
                *why = QStringLiteral("%1, %2: %3").arg(title(), field->schemaKey->label, field->why);
            return false;
        }
    }
    return true;
}

QList<std::pair<QString, QString>> SchemaPage::changes() const
{
    QList<std::pair<QString, QString>> changes;
    for (const Field* field : m_fields) {
        const QString now = field->text();
        if (now == field->inForce)
            continue;
        if (field->schemaKey->pattern.isEmpty()) {
            changes.append({ field->schemaKey->key, now });
            continue;
        }
        // Each name given anew or changed; a name no longer given is taken out of the file.
        const QList<std::pair<QString, QString>> lines = patternLines(*field->schemaKey, now, nullptr);
        for (const auto& [name, value] : patternLines(*field->schemaKey, field->inForce, nullptr)) {
            if (std::none_of(lines.begin(), lines.end(), [&](const auto& line) { return line.first == name; }))
                changes.append({ name, QString() });
        }
        changes.append(lines);
    }
    return changes;
}

QByteArray SchemaPage::fileText() const
{
    QByteArray text;
    for (const Field* field : m_fields) {
        // An empty field of a key without a default is a key not given.
        const QString value = field->text();
        if (!field->schemaKey->pattern.isEmpty()) {
            for (const auto& [name, given] : patternLines(*field->schemaKey, value, nullptr))
                text += (name + QLatin1Char('=') + given + QLatin1Char('\n')).toUtf8();
            continue;
        }
        if (!value.isEmpty() || !field->schemaKey->defaultText.isEmpty())
            text += (field->schemaKey->key + QLatin1Char('=') + value + QLatin1Char('\n')).toUtf8();
    }
    return text;
}

bool SchemaPage::changed() const
{
    return !changes().isEmpty();
}

bool SchemaPage::save(QString* error)
{
    const QList<std::pair<QString, QString>> changed = changes();
    if (changed.isEmpty())
        return true;
    if (!m_config.save(m_file, changed, error))
        return false;
    for (Field* field : std::as_const(m_fields))
        field->inForce = field->text();
    return true;
}
