#pragma once

#include "alarm/AlarmCore.h"
#include "alarm/Incident.h"
#include "common/AppContext.h"
#include "config/Configuration.h"
#include "config/StationSettings.h"
#include "map/Geocoder.h"
#include "print/PrintSettings.h"
#include "print/Printout.h"
#include "tests/support/OwnNamespaces.h"
#include "tests/support/TestFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <optional>

// A station that prints its alarms, without a window: its data folder with print.ini and map.ini
// (print.ini left out when null), their configuration, the core, the incident and the printout.
// A test that writes print.ini anew calls config.reload(), as the station does after the dialog.
struct PrintStation {
    QTemporaryDir home;
    std::optional<SmallDisk> disk; // on Ausdrucke/ when a test asks for one
    AppContext ctx;
    StationSettings settings;
    AlarmCore core { ctx, settings };
    Geocoder geocoder { ctx, settings };
    Incident incident { geocoder };
    Printout printout { ctx, settings };
    Configuration config;
    QSignalSpy printed { &printout, &Printout::printed };

    // `prepare` runs before the printout watches the core.
    PrintStation(
        const QByteArray& printIni, const QByteArray& mapIni, const std::function<void(PrintStation&)>& prepare = {})
    {
        ctx.DataFolder = home.path();
        ctx.LastAlarmPath = home.filePath(QStringLiteral("last.dat"));
        ctx.MonitorName = QStringLiteral("Wache Nord");
        if (!printIni.isNull())
            (void)TestFiles::writeAll(home.filePath(PrintSettings::FileName), printIni);
        (void)TestFiles::writeAll(home.filePath(QStringLiteral("map.ini")), mapIni);
        if (prepare)
            prepare(*this);
        QObject::connect(&config, &Configuration::changed, &printout, [this](ConfigFile file) {
            if (file == ConfigFile::Print)
                printout.setSettings(PrintSettings::from(config.values(file)));
        });
        config.load(home.path());
        const MapConfig map = MapConfig::from(config.values(ConfigFile::Map));
        geocoder.setConfig(map);
        printout.setMapConfig([map] { return map; });
        incident.follow(core);
        printout.follow(incident);
        printout.watch(core);
    }
    // Printout `index` (from 0) of this station, waiting for it.
    std::optional<PrintResult> next(qsizetype index)
    {
        if (!QTest::qWaitFor([&] { return printed.size() > index; }, 60000))
            return std::nullopt;
        return printed.at(index).at(0).value<PrintResult>();
    }
};
