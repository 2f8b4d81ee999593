#include "log/TickerStore.h"

#include "common/AppContext.h"
#include "log/TickerFile.h"
#include "settings/DataFolders.h"

TickerStore::TickerStore(AppContext& ctx, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
{
}

void TickerStore::store(const QString& message)
{
    if (const std::optional<QByteArray> line = TickerFile::append(m_ctx.TickerPath, message))
        emit stored(*line);
}

void TickerStore::clear()
{
    if (!m_ctx.TickerPath.isEmpty())
        TickerFile::archiveAndDelete(m_ctx.TickerPath, ArchiveFolder(m_ctx), today());
    emit cleared();
}
