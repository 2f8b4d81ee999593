#pragma once

#include "tests/support/HttpResponder.h"

#include "common/AppContext.h"
#include "map/ucGMap.h"

#include <QBuffer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Response = HttpResponder::Response;

template <typename... Values> void row(const char* name, const Values&... values)
{
    (QTest::newRow(name) << ... << values);
}

inline Response png(const QImage& image)
{
    Response r;
    QBuffer buffer(&r.body);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return r;
}

// A map control, its data folder and a local map service that answers as `m_answer` decides.
struct MapFixture {
    QTemporaryDir m_data;
    AppContext m_ctx;
    HttpResponder::Handler m_answer;
    std::optional<HttpResponder> m_server;
    std::optional<ucGMap> m_map;

    void startServer(HttpResponder::Handler answer)
    {
        m_answer = std::move(answer);
        m_server.emplace([this](const HttpResponder::Request& r) { return m_answer(r); });
        m_ctx.DataFolder = m_data.path();
    }
    void writeMapIni(const QByteArray& text)
    {
        QFile file(m_data.filePath(QStringLiteral("map.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size());
    }
    // Looks `address` up; whether the lookup found it, nothing when it never ended.
    std::optional<bool> lookUp(const QString& address, int timeoutMs = 5000)
    {
        QSignalSpy done(&*m_map, &ucGMap::locationLookupFinished);
        m_map->SetCenterToTextLocation(address);
        if (!done.wait(timeoutMs) || done.count() != 1)
            return std::nullopt;
        return done.first().first().toBool();
    }
};
