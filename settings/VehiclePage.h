#pragma once

#include "settings/TablePage.h"

// "Fahrzeuge": fahrzeuge.ini as a table of radio call name and short name, in the order the board
// shows them. Saved whole, one "call name = short name" a line.
class VehiclePage : public TablePage {
    Q_OBJECT

public:
    explicit VehiclePage(const QString& path, QWidget* parent = nullptr);

    [[nodiscard]] QString title() const override { return QStringLiteral("Fahrzeuge"); }
    [[nodiscard]] bool valid(QString* why) const override;

protected:
    [[nodiscard]] QByteArray bytesOf(const QList<QStringList>& rows) const override;
};
