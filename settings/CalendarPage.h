#pragma once

#include "settings/SettingsPage.h"

#include <atomic>
#include <functional>
#include <memory>

class Configuration;
class QLabel;
class QLineEdit;

// "Kalender": the station's iCalendar file (display.ini calendar=) and a preview of its next
// appointments, read on a worker thread as the standby view reads them.
class CalendarPage : public SettingsPage {
    Q_OBJECT

public:
    explicit CalendarPage(Configuration& config, QWidget* parent = nullptr);
    ~CalendarPage() override;

    [[nodiscard]] QString title() const override { return QStringLiteral("Kalender"); }
    [[nodiscard]] bool valid(QString* why) const override;
    [[nodiscard]] bool changed() const override;
    bool save(QString* error) override;

    std::function<QString(QWidget* parent, const QString& start)> pickFile;

    QLineEdit* txt_calendar = nullptr;
    // The next appointments, one a line, or why there are none.
    QLabel* lbl_preview = nullptr;

signals:
    // The preview shows what the file named now holds.
    void previewed();

private:
    void preview();

    Configuration& m_config;
    QString m_inForce;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    quint64 m_asked = 0;
};
