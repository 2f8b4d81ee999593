#include "log/TickerLog.h"

#include "common/AppContext.h"
#include "log/TickerFile.h"
#include "log/TickerModel.h"
#include "settings/DataFolders.h"

TickerLog::TickerLog(AppContext& ctx, TickerModel& model)
    : m_ctx(ctx)
    , m_model(model)
{
}

void TickerLog::HandleTickerMessage(const QString& message)
{
    // The list already holds every earlier line: the stored line is added to it, and the file is
    // not read again, so that a burst of messages costs each one the same.
    if (const std::optional<QByteArray> line = TickerFile::append(m_ctx.TickerPath, message))
        m_model.addLine(*line);
}

void TickerLog::DeleteTicker()
{
    if (!m_ctx.TickerPath.isEmpty())
        TickerFile::archiveAndDelete(m_ctx.TickerPath, ArchiveFolder(m_ctx), today());
    lese_ticker();
}

void TickerLog::lese_ticker()
{
    m_model.clear();
    m_model.setLines(TickerFile::read(m_ctx.TickerPath));
}
