#pragma once

#include "settings/TablePage.h"

// "Mannschaft": mannschaft.csv as a table of pager id, name and qualifications, and the import of
// a spreadsheet's export (UTF-8, UTF-16 or Windows-1252; ';', ',' or a tab between fields). Saved
// whole as UTF-8 with ';'. On a hall screen (display.ini privacy=1) the page shows no name: it says
// so instead, and changes nothing.
class CrewPage : public TablePage {
    Q_OBJECT

public:
    CrewPage(const QString& path, bool privacy, QWidget* parent = nullptr);

    [[nodiscard]] QString title() const override { return QStringLiteral("Mannschaft"); }
    [[nodiscard]] bool valid(QString* why) const override;
    [[nodiscard]] bool changed() const override;

    // Reads a spreadsheet's export into the table (not yet saved); false when it cannot be read.
    bool import(const QString& path);

protected:
    [[nodiscard]] QByteArray bytesOf(const QList<QStringList>& rows) const override;

private:
    bool m_privacy = false;
};
