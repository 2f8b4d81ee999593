#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <benchmark/benchmark.h>

// The main function of a benchmark program: the Qt application it needs, then Google Benchmark.
enum class BenchDisplay { None, Offscreen };

template <class Application> int runBenchmarks(int argc, char** argv, BenchDisplay display = BenchDisplay::None)
{
    // Window benchmarks draw without a screen unless the caller names a platform.
    if (display == BenchDisplay::Offscreen && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
