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
    if (!TickerFile::append(m_ctx.TickerPath, message))
        return;
    lese_ticker();
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
