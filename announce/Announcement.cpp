#include "announce/Announcement.h"

#include "announce/AnnouncementOutput.h"
#include "common/AppContext.h"
#include "common/CodePage.h"
#include "common/FileExists.h"
#include "common/Log.h"
#include "common/SafeFile.h"

#include <QDebug>

void Announce(const Announcement& announcement, AnnouncementOutput& output, const AppContext& ctx)
{
    const auto ending = [&ctx] { return ctx.ist_ende() != 0; };

    if (announcement.alarmSound && !ending())
        output.PlayWave(*announcement.alarmSound);

    if (const auto& speech = announcement.speech; speech && !ending() && FileExists(speech->program) == 1) {
        // The speech program is never started on a text it cannot read; a shell still reading the
        // previous text keeps the old file.
        if (ReplaceFileWhole(speech->textFile, CodePage::encode(speech->text)))
            output.RunSpeechProgram(speech->program, speech->textFile, speech->argsBefore, speech->argsAfter);
        else
            qCWarning(lcFiles).noquote() << "Speech text" << speech->textFile << "could not be written; no speech";
    }

    for (const QString& sound : announcement.unitSounds) {
        if (ending())
            return;
        output.PlayWave(sound);
    }
}
