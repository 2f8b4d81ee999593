#include "common/AppContext.h"

#include <QDir>

AppContext::AppContext(QObject* parent)
    : QObject(parent)
{
}

void AppContext::beginEnding()
{
    if (m_istEnde)
        return;
    m_istEnde = true;
    emit ending();
}

QString AppContext::dataFile(const QString& name) const
{
    return DataFolder + QDir::separator() + name;
}

QString AppContext::programFile(const QString& name) const
{
    return ProgramFolder + QDir::separator() + name;
}
