#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

struct StationSettings;

// A "WACHALARM" message taken apart into what each control of the alarm display shows. A field
// that the message does not carry counts as empty everywhere, so that no label keeps a text of the
// previous incident.
class StationAlarm {
public:
    // Empty when the message has fewer than the seven fields 0 to 6: such a message is ignored.
    [[nodiscard]] static std::optional<StationAlarm> parse(const QString& message);

    // The first field of the station's test alarm ("Probealarm"), where a dispatch alarm has
    // "WACHALARM".
    static inline const QString TestType = QStringLiteral("PROBEALARM");
    // The fields of a test alarm.
    [[nodiscard]] static bool isTest(const QStringList& fields) { return fields.value(0) == TestType; }

    // Field i of the message, or the empty text when the message has no field i.
    [[nodiscard]] QString field(int i) const;
    [[nodiscard]] const QStringList& fields() const { return m_fields; }

    // Label4, Label2(0) and Label2(1).
    [[nodiscard]] QString header() const { return field(1); }
    [[nodiscard]] QString firstWord() const;
    [[nodiscard]] QString secondWord() const;

    // label_einsatz(0) to label_einsatz(8), by index.
    [[nodiscard]] std::array<QString, 9> incidentLabels() const;

    // The units of field 14, markers included.
    [[nodiscard]] QStringList units() const;

    // Image_Blau shows Image2 when field 15 reads as a number other than 0, Image3 otherwise.
    [[nodiscard]] bool indicatorOn() const;

    // The map position: the coordinate text when fields 16 and 17 both hold a readable latitude and
    // longitude (a comma counts as decimal point); else nothing, and the map looks up the address.
    [[nodiscard]] std::optional<QString> coordinates() const;
    [[nodiscard]] QString address() const;

    // The text the speech program reads aloud, block by block as the settings switch them on.
    [[nodiscard]] QString speechText(const StationSettings& settings) const;

private:
    explicit StationAlarm(QStringList fields);

    QStringList m_fields;
};
