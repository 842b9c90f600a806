#include "engine/Installation.h"

#include "app/Log.h"
#include "engine/ProgressView.h"
#include "engine/Rules.h"

#include <windows.h>

#include <climits>
#include <cmath>

Installation::Installation(const Delivery& delivery, InstallLog& log, ProgressView& view)
    : delivery_(delivery), log_(log), view_(view), fileCopier(view)
{
}

bool Installation::Run(const std::string& installDir)
{
    CreateDirectoryPath(installDir);
    log_.Open(LogFilePath(installDir));

    WriteLog("*****INIZIO INSTALLAZIONE *****");
    CopyApplicationFiles();
    WriteLog("*FINE COPIA DEI FILES*");
    WriteLog("*INIZIO COPIA E REGISTRAZIONE DEI FILES DI SISTEMA*");
    const bool succeeded = InstallSystemFiles();
    WriteLog("*FINE COPIA E REGISTRAZIONE DEI FILES DI SISTEMA*");
    return succeeded;
}

void Installation::Finish()
{
    WriteLog("*****FINE INSTALLAZIONE*****");
}

int Installation::ExitCode(bool succeeded) const
{
    return succeeded && failedItems == 0 ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

void Installation::WriteLog(const std::string& message)
{
    log_.WriteLog(message);
}

void Installation::AdvanceProgress(double progressStep)
{
    const double next = std::trunc(static_cast<double>(progressPos) + progressStep);
    // A count of 0, one too small or not a number gives a step that no integer
    // holds; the bar then stays at its lowest position until the folder ends.
    if (std::isfinite(next) && next >= static_cast<double>(INT_MIN) && next <= static_cast<double>(INT_MAX))
        progressPos = static_cast<int>(next);
    else
        progressPos = 0;
    SetBar(progressPos);
}

void Installation::SetStatus(const std::string& text)
{
    view_.ShowStatus(text);
    view_.PumpMessages();
}

void Installation::SetBar(int position)
{
    view_.ShowPosition(position);
    view_.PumpMessages();
}

void Installation::LogUnlistableFolder(const std::string& folder)
{
    CountFailure();
    WriteLog("  LA CARTELLA: " + folder + " NON PUO' ESSERE LETTA, I SUOI FILE NON SONO STATI COPIATI");
}
