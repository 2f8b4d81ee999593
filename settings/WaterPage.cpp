#include "settings/WaterPage.h"

#include "water/WaterImport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <chrono>
#include <memory>
#include <thread>

WaterPage::WaterPage(const QString& index, const QString& dataFolder, QWidget* parent)
    : SettingsPage(parent)
    , m_index(index.isEmpty() ? QDir(dataFolder).filePath(QStringLiteral("water.sqlite")) : index)
    , m_named(!index.isEmpty())
{
    setObjectName(QStringLiteral("Wasserentnahmestellen"));
    pickFile = [](QWidget* parent) {
        return QFileDialog::getOpenFileName(
            parent, QString(), QString(), QStringLiteral("OpenStreetMap-Auszug (*.osm *.pbf)"));
    };
    auto* column = new QVBoxLayout(this);
    auto* explain = new QLabel(QStringLiteral("Die Wasserentnahmestellen (Hydranten, Löschwasserbrunnen, -teiche, "
                                              "-behälter) kommen aus einem OpenStreetMap-Auszug der Gegend, etwa "
                                              "von download.geofabrik.de. Der Index: %1")
                                   .arg(m_index),
        this);
    explain->setWordWrap(true);
    explain->setTextFormat(Qt::PlainText);
    column->addWidget(explain);
    auto* row = new QHBoxLayout;
    txt_extract = new QLineEdit(this);
    txt_extract->setObjectName(QStringLiteral("txt_extract"));
    txt_extract->setPlaceholderText(QStringLiteral("Auszug (.osm oder .osm.pbf)"));
    auto* pick = new QPushButton(QStringLiteral("…"), this);
    pick->setAutoDefault(false);
    cmd_import = new QPushButton(QStringLiteral("Importieren"), this);
    cmd_import->setObjectName(QStringLiteral("cmd_import"));
    cmd_import->setAutoDefault(false);
    row->addWidget(txt_extract, 1);
    row->addWidget(pick);
    row->addWidget(cmd_import);
    column->addLayout(row);
    progress = new QProgressBar(this);
    progress->setRange(0, 1);
    progress->setValue(0);
    progress->setTextVisible(false);
    column->addWidget(progress);
    lbl_result = new QLabel(this);
    lbl_result->setObjectName(QStringLiteral("lbl_result"));
    lbl_result->setWordWrap(true);
    lbl_result->setTextFormat(Qt::PlainText);
    column->addWidget(lbl_result);
    column->addStretch(1);
    connect(pick, &QPushButton::clicked, this, [this] {
        const QString chosen = pickFile ? pickFile(this) : QString();
        if (!chosen.isEmpty())
            txt_extract->setText(chosen);
    });
    connect(cmd_import, &QPushButton::clicked, this, [this] { import(txt_extract->text()); });
}

bool WaterPage::import(const QString& extract)
{
    if (m_importing)
        return false;
    const QFileInfo file(extract);
    if (!file.isFile() || !file.isReadable()
        || !(extract.endsWith(QStringLiteral(".osm")) || extract.endsWith(QStringLiteral(".pbf")))) {
        lbl_result->setText(QStringLiteral("Bitte einen OpenStreetMap-Auszug wählen, der sich lesen lässt "
                                           "(.osm oder .osm.pbf)."));
        return false;
    }
    m_importing = true;
    cmd_import->setEnabled(false);
    // The extract's nodes are not counted before: the bar moves without an end.
    progress->setRange(0, 0);
    lbl_result->setText(QStringLiteral("Der Auszug wird gelesen …"));
    // The worker holds the guard but never reads it: only the window's thread does.
    const auto guard = std::make_shared<QPointer<WaterPage>>(this);
    const QString index = m_index;
    // The import may outlast the dialog: it ends on its own, and what it says then goes nowhere.
    std::thread([guard, extract, index] {
        const auto German = QLocale(QLocale::German);
        auto last = std::chrono::steady_clock::now();
        const WaterImport::Result result = WaterImport::run(extract, index, [&](qint64 nodes, qint64 sources) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last < std::chrono::milliseconds(200))
                return;
            last = now;
            QMetaObject::invokeMethod(QCoreApplication::instance(),
                [guard,
                    text = QStringLiteral("%1 Knoten gelesen, %2 Wasserentnahmestellen "
                                          "gefunden …")
                               .arg(German.toString(nodes), German.toString(sources))] {
                    if (WaterPage* page = guard->data())
                        page->lbl_result->setText(text);
                });
        });
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, result, German] {
            WaterPage* page = guard->data();
            if (!page)
                return;
            page->m_importing = false;
            page->cmd_import->setEnabled(true);
            page->progress->setRange(0, 1);
            page->progress->setValue(result.ok ? 1 : 0);
            if (result.ok) {
                page->lbl_result->setText(QStringLiteral("Fertig: %1 Wasserentnahmestellen im Index %2.")
                                              .arg(German.toString(result.sources), page->m_index));
                if (!page->m_named) {
                    page->m_named = true;
                    emit page->indexChosen(page->m_index);
                }
            } else {
                page->lbl_result->setText(
                    QStringLiteral("Der Import ist gescheitert, der bisherige Index bleibt: %1").arg(result.error));
            }
            emit page->imported(result.ok);
        });
    }).detach();
    return true;
}
