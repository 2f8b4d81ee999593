#pragma once

#include <QCommandLineParser>
#include <QStringList>

// The monitor's command line: every option of `kessvenn` is declared here and nowhere else. Parsed
// before any application object exists, so that what needs no screen never asks for one. Qt's own
// options for the window (-platform, -display, -style ...) are left for Qt to take.
class CommandLine {
public:
    enum class Run {
        Window,
        Headless,
        ExportHistory,
        ImportWater,
        CheckConfig,
        PrintConfig,
        TestAlarm,
        Status,
        Help,
        Version
    };

    // `arguments` as main() receives them, the program's path first.
    explicit CommandLine(const QStringList& arguments);
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    [[nodiscard]] Run run() const { return m_run; }
    // Why the arguments cannot be used; empty when they can.
    [[nodiscard]] const QString& error() const { return m_error; }
    [[nodiscard]] bool fullScreen() const;
    // What follows --export-history (the year) or --import-water (the extract and the index), to
    // be checked by the export or the import.
    [[nodiscard]] QStringList arguments() const { return m_parser.positionalArguments(); }
    // -platform or -display on the command line chooses the screen, as the environment would.
    [[nodiscard]] bool namesDisplay() const { return m_namesDisplay; }
    [[nodiscard]] QString helpText() const { return m_parser.helpText(); }

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_fullScreen;
    QCommandLineOption m_headless;
    QCommandLineOption m_exportHistory;
    QCommandLineOption m_importWater;
    QCommandLineOption m_checkConfig;
    QCommandLineOption m_printConfig;
    QCommandLineOption m_testAlarm;
    QCommandLineOption m_status;
    Run m_run = Run::Window;
    QString m_error;
    bool m_namesDisplay = false;
};
