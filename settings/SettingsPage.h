#pragma once

#include <QString>
#include <QWidget>

// One page of the settings dialog ("Leitstelle", "Anzeige", "Mannschaft", ...). The dialog shows
// the pages in a list, keeps "Speichern" waiting while a page is not valid, and saves every page
// that has changes when it is pressed.
class SettingsPage : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;

    // The page's name in the dialog's list.
    [[nodiscard]] virtual QString title() const = 0;
    // Whether every field can be used; `why` says in German what cannot, for the dialog to show.
    [[nodiscard]] virtual bool valid(QString* why) const = 0;
    // Whether a field differs from what is in force.
    [[nodiscard]] virtual bool changed() const = 0;
    // Writes the page's file; false with `error` in German words when it could not.
    virtual bool save(QString* error) = 0;

signals:
    // A field was edited: the dialog asks valid() and changed() again.
    void edited();
};
