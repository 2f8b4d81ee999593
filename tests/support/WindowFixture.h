#pragma once

#include "alarm/AlarmCore.h"
#include "app/Form1.h"
#include "common/AppContext.h"
#include "station/Station.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <memory>

// A main window for a test on a station of its own: its own data folder (XDG_DATA_HOME in a
// temporary folder, which is the program folder too), the link left idle so that it dials nothing, and the clear
// question answered by `answerYes`, each question written down.
class WindowFixture {
public:
    WindowFixture();
    ~WindowFixture();

    // The window and its station ended and made anew on the same data folder, as after a restart;
    // load() is left to the test.
    void restart();
    // The station's core, where the dispatch computer's messages arrive.
    [[nodiscard]] AlarmCore& core() const { return station->core(); }

    QTemporaryDir home;
    AppContext ctx;
    std::unique_ptr<Station> station;
    std::unique_ptr<Form1> form;
    bool answerYes = false;
    QStringList questions;
    // The window's own question, a message box, for a test that answers it on screen.
    std::function<bool(QWidget*, const QString&, const QString&)> realQuestion;

    // A control of the window by its name, "label_einsatz(3)", "Grid_Status".
    template <typename T = QWidget> [[nodiscard]] T* control(const QString& name) const
    {
        return form->findChild<T*>(name);
    }

    // The texts of the incident display: label_einsatz(0..8), Label2(0..1), Label4, then each of
    // the units, pager and status grids by name followed by its rows' units, pagers or call names.
    [[nodiscard]] QStringList incidentTexts() const;

    // A station alarm as the dispatch computer sends it: fields 0 to 15, with this keyword and units.
    [[nodiscard]] static QString stationAlarm(const QString& keyword, const QStringList& units);

    // The path of a file in the data folder, which exists once load() ran.
    [[nodiscard]] QString dataFile(const QString& name) const;
    // Writes a file into the data folder before load(), creating the folder.
    [[nodiscard]] bool putDataFile(const QString& name, const QByteArray& bytes);
};
