#include "wizard/WizardDialog.h"

#include <climits>
#include <cmath>
#include <stdexcept>

void WizardDialog::AdvanceProgress(double progressStep)
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

void WizardDialog::SetStatus(const std::string& text)
{
    if (statusLine != nullptr)
        statusLine->SetWindowText(text);
    PumpMessages();
}

void WizardDialog::SetBar(int position)
{
    if (progressBar != nullptr)
        progressBar->SetPos(position);
    PumpMessages();
}

#ifdef LUMO_FAULT_INJECTION
void MaybeInjectFault(const char* where)
{
    char wanted[64] = {};
    if (::GetEnvironmentVariableA("LUMO_INJECT_FAULT", wanted, sizeof(wanted)) > 0 && lstrcmpiA(wanted, where) == 0)
        throw std::runtime_error(where);
}
#endif
