#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

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

// Benchmarks that run the real monitor listen on its fixed port 4750. They run again inside a
// network namespace of their own with its loopback up, so that no other program on this machine
// hears from the monitor or is taken for its dispatch computer. Returns 0 inside that namespace,
// and non-zero when it could not be entered.
inline int runInOwnNetwork(int argc, char** argv)
{
    static constexpr char kOwnNetwork[] = "KESSVENN_BENCH_OWN_NETWORK";
    if (!qEnvironmentVariableIsEmpty(kOwnNetwork))
        return 0;
    setenv(kOwnNetwork, "1", 1);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return 1;
    self[n] = '\0';
    std::vector<char*> args { const_cast<char*>("unshare"), const_cast<char*>("--net"), const_cast<char*>("--"),
        const_cast<char*>("/bin/sh"), const_cast<char*>("-c"),
        const_cast<char*>("ip link set lo up && exec \"$0\" \"$@\""), self };
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp("unshare", args.data());
    std::perror("unshare --net (this benchmark needs root)");
    return 1;
}

// User plus system time of another process so far, from /proc; -1 when it cannot be read.
inline double processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    // After the command: state is field 3 of the line; utime and stime are fields 14 and 15.
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}
