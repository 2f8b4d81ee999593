// kessvenn-dispatch: a dispatch computer for testing and demonstrating the Kessvenn monitor.
#include "tools/DispatchSimulator.h"
#include "tools/ScenarioScript.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

namespace {

void printLine(const QString& line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printError(const QString& line)
{
    std::fputs(("kessvenn-dispatch: " + line).toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kessvenn-dispatch"));
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(KESSVENN_VERSION_MAJOR).arg(KESSVENN_VERSION_MINOR).arg(KESSVENN_VERSION_PATCH));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays the dispatch computer for Kessvenn monitors: prints each registration, plays the scenario to each "
        "registered monitor, and sends every message line typed on standard input to all connected monitors."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption({ QStringLiteral("p"), QStringLiteral("port") },
        QStringLiteral("TCP port to listen on (default 4750, 0 for any free one)."), QStringLiteral("port"),
        QStringLiteral("4750"));
    const QCommandLineOption listenOption({ QStringLiteral("l"), QStringLiteral("listen") },
        QStringLiteral("Address to listen on (default 127.0.0.1; 0.0.0.0 accepts monitors of other computers)."),
        QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    parser.addOption(portOption);
    parser.addOption(listenOption);
    parser.addPositionalArgument(QStringLiteral("scenario"),
        QStringLiteral("Scenario file (see /usr/share/doc/kessvenn/kessvenn-dispatch.md.gz, or tools/README.md in the "
                       "source); none to send only from stdin."),
        QStringLiteral("[scenario]"));
    parser.process(app);
    if (parser.positionalArguments().size() > 1) {
        printError(QStringLiteral("one scenario at most"));
        std::fputs(parser.helpText().toLocal8Bit().constData(), stderr);
        return 2;
    }

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        printError(QStringLiteral("not a port: %1").arg(parser.value(portOption)));
        return 2;
    }
    const QHostAddress address(parser.value(listenOption));
    if (address.isNull()) {
        printError(QStringLiteral("not an address: %1").arg(parser.value(listenOption)));
        return 2;
    }

    DispatchSimulator simulator;
    QObject::connect(&simulator, &DispatchSimulator::report, &printLine);

    if (const QStringList args = parser.positionalArguments(); !args.isEmpty()) {
        QFile file(args.first());
        if (!file.open(QIODevice::ReadOnly)) {
            printError(QStringLiteral("cannot read %1: %2").arg(args.first(), file.errorString()));
            return 2;
        }
        QStringList errors;
        simulator.setScenario(ScenarioScript::parseScript(QString::fromUtf8(file.readAll()), &errors));
        for (const QString& error : std::as_const(errors))
            printError(args.first() + QLatin1Char(' ') + error);
    }

    if (!simulator.listen(address, static_cast<quint16>(port))) {
        printError(QStringLiteral("cannot listen on %1:%2: %3")
                       .arg(address.toString())
                       .arg(port)
                       .arg(simulator.errorString()));
        return 1;
    }
    printLine(QStringLiteral("listening on %1:%2").arg(address.toString()).arg(simulator.port()));

    // Standard input: one message per line, in the scenario's syntax, sent to every monitor.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false); // end of input: the monitors keep their connections
            return;
        }
        pending.append(buffer, n);
        qsizetype newline;
        while ((newline = pending.indexOf('\n')) >= 0) {
            const ScenarioScript::Step step = ScenarioScript::parseLine(QString::fromUtf8(pending.left(newline)));
            pending.remove(0, newline + 1);
            if (!step.error.isEmpty())
                printError(step.error);
            if (step.kind == ScenarioScript::Step::Kind::Message)
                simulator.sendToAll(step.message);
            else if (step.kind == ScenarioScript::Step::Kind::Wait)
                printError(QStringLiteral("wait is for scenario files; on the input, just wait"));
        }
    });

    return QCoreApplication::exec();
}
