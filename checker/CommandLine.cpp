#include "checker/CommandLine.h"

#include "checker/Checks.h"
#include "engine/Rules.h"
#include "framework/Text.h"

#include <algorithm>

namespace {

// "--ignora LC013,LC015" or "--ignora=LC013,LC015": each code one of the rules.
bool AddIgnored(const std::string& list, CheckOptions& options)
{
    if (list.empty()) {
        options.error = "--ignora vuole i codici delle regole, ad esempio --ignora LC013,LC015.";
        return false;
    }
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string code = UpperText(TrimText(list.substr(start, end - start)));
        const std::vector<std::string>& codes = RuleCodes();
        if (std::find(codes.begin(), codes.end(), code) == codes.end()) {
            options.error = "--ignora: \"" + code + "\" non è il codice di una regola (da LC001 a " + codes.back() +
                            ").";
            return false;
        }
        options.ignored.insert(code);
        start = end + 1;
    }
    return true;
}

} // namespace

CheckOptions ParseCommandLine(const std::vector<std::string>& arguments)
{
    CheckOptions options;
    bool haveFolder = false;
    for (size_t i = 0; i < arguments.size() && options.error.empty(); ++i) {
        const std::string& arg = arguments[i];
        auto is = [&](const char* name) { return EqualIgnoringCase(arg, name); };
        if (is("--piano")) {
            options.plan = true;
        } else if (is("--json")) {
            options.json = true;
        } else if (is("--sarif")) {
            options.sarif = true;
        } else if (is("--avvisi-come-errori")) {
            options.warningsFail = true;
        } else if (is("--solo-consegna")) {
            options.onlyDelivery = true;
        } else if (is("--help") || is("-h") || is("/?")) {
            options.help = true;
        } else if (is("--version")) {
            options.version = true;
        } else if (is("--ignora")) {
            // Without a list, the same complaint as an empty one.
            AddIgnored(i + 1 < arguments.size() ? arguments[++i] : std::string(), options);
        } else if (arg.size() > 9 && EqualIgnoringCase(arg.substr(0, 9), "--ignora=")) {
            AddIgnored(arg.substr(9), options);
        } else if (arg.empty() || arg[0] == '-') {
            options.error = "Opzione sconosciuta: " + arg + ".";
        } else if (haveFolder) {
            options.error = "Una sola cartella, per favore: " + options.folder + " e " + arg + ".";
        } else {
            options.folder = arg;
            haveFolder = true;
        }
    }
    if (options.error.empty() && options.json && options.sarif)
        options.error = "--json e --sarif si escludono a vicenda: indicarne uno solo.";
    if (options.error.empty() && options.plan &&
        (options.warningsFail || options.onlyDelivery || !options.ignored.empty() || options.sarif))
        options.error =
            "--avvisi-come-errori, --ignora, --solo-consegna e --sarif valgono per il controllo, non per --piano.";
    return options;
}

std::vector<std::string> UsageLines()
{
    return {
        "Uso: LumoCheck.exe [opzioni] [cartella della consegna]",
        "Controlla una cartella di consegna prima che parta (senza cartella: la cartella corrente).",
        "  --piano               che cosa farebbe l'installatore su questo computer, senza cambiare nulla",
        "  --json                un solo documento JSON in UTF-8 al posto del testo",
        "  --sarif               un solo documento SARIF 2.1.0 in UTF-8 al posto del testo (per le pipeline)",
        "  --avvisi-come-errori  anche gli avvisi danno il codice di uscita 2",
        "  --ignora LC013,LC015  tralascia le regole indicate",
        "  --solo-consegna       tralascia le segnalazioni che dipendono da questo computer (LC002, LC016, LC019)",
        "  --help                questo aiuto",
        "  --version             la versione di LumoCheck",
        "Codici di uscita:",
        "  0  nessuna segnalazione; con --piano: nessun errore previsto",
        "  1  solo avvisi",
        "  2  almeno un errore; con --piano: l'installazione non riuscirebbe, o manca Installatore.ini",
        "  3  la cartella non esiste o non si può leggere, o la riga di comando non è valida",
        "  4  errore interno di LumoCheck (ad esempio memoria esaurita): nulla è detto della consegna",
    };
}
