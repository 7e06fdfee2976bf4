#include "launcher/ui/interface_texts.hpp"

#include <cstddef>

namespace launcher {
namespace {

struct Entry {
    UiText id;
    const char* text;
};

// The wording (including the missing accents of some status lines) is the product's own.
constexpr Entry kTexts[] = {
    {UiText::WindowTitle, "KYR Launcher"},
    {UiText::TitleFirstPart, "7Q"},
    {UiText::TitleSecondPart, " VALDRA"},
    {UiText::SearchingServers, "BUSCANDO SERVIDORES..."},
    {UiText::NoConnection, "\xE2\x97\x8F SIN CONEXI\xC3\x93N"},
    {UiText::LiveDot, "\xE2\x97\x8F "},
    {UiText::SelectorCaret, "\xE2\x96\xBE"},
    {UiText::MinimiseGlyph, "\xE2\x80\x93"},
    {UiText::CloseGlyph, "\xC3\x97"},
    {UiText::NewsHeading, "NEWS"},
    {UiText::NewsLoading, "Loading news..."},
    {UiText::NoNews, "No news available at the moment"},
    {UiText::Play, "PLAY"},
    {UiText::CheckingForUpdates, "Checking for updates..."},
    {UiText::DownloadingGameData, "Downloading game data..."},
    {UiText::Installing, "Installing..."},
    {UiText::ApplyingUpdate, "Applying update..."},
    {UiText::UpdateInterrupted, "The update was interrupted halfway through. Tap VERIFY to retry."},
    {UiText::UpdateFailedClientIntact, "Update failed (current client intact)"},
    {UiText::CouldNotStartUpdateCheck, "Could not start the update check."},
    {UiText::SettingsTitle, "SETTINGS"},
    {UiText::EngineLabel, "ENGINE"},
    {UiText::LanguageLabel, "LANGUAGE"},
    {UiText::FpsLimitLabel, "FPS LIMIT"},
    {UiText::ResolutionLabel, "RESOLUTION"},
    {UiText::WindowedModeLabel, "WINDOWED MODE"},
    {UiText::ResetButton, "RESET"},
    {UiText::CancelButton, "CANCEL"},
    {UiText::ApplyButton, "APPLY"},
    {UiText::StepperLeft, "\xE2\x80\xB9"},
    {UiText::StepperRight, "\xE2\x80\xBA"},
    {UiText::CheckMark, "\xE2\x9C\x93"},
    {UiText::ServersTitle, "SERVIDORES"},
    {UiText::SearchPlaceholder, "Buscar servidor..."},
    {UiText::AccessCodePlaceholder, "C\xC3\xB3"
                                    "digo de acceso"},
    {UiText::RefreshButton, "ACTUALIZAR"},
    {UiText::NoServerList, "Todav\xC3\xAD"
                           "a no hay lista de servidores."},
    {UiText::NoServerMatches, "Ning\xC3\xBAn servidor coincide con la b\xC3\xBAsqueda."},
    {UiText::RegionAuto, "AUTO"},
    {UiText::RegionAutoPrefix, "AUTO: "},
    {UiText::RegionPinnedPrefix, "FIJA: "},
    {UiText::PinnedRegionSuffix, " (fija)"},
    {UiText::PanelPlay, "JUGAR"},
    {UiText::StateOnline, "EN L\xC3\x8DNEA"},
    {UiText::StateMaintenance, "MANTENIMIENTO"},
    {UiText::StateOffline, "CA\xC3\x8D"
                           "DO"},
    {UiText::StateUnknown, "SIN DATOS"},
    {UiText::AccessCodePill, "CON C\xC3\x93"
                             "DIGO"},
    {UiText::TextCaret, "|"},
    {UiText::WarningPrefix, "Aviso: "},
};

struct BilingualEntry {
    BilingualText id;
    const char* spanish;
    const char* english;
};

constexpr BilingualEntry kBilingualTexts[] = {
    {BilingualText::PrimaryServer, "Servidor Primario", "Primary Server"},
    {BilingualText::SecondaryServer, "Servidor Secundario", "Secondary Server"},
    {BilingualText::ForceButton, "FORZAR", "FORCE"},
    {BilingualText::ClientUpToDate, "Cliente al dia.", "Client up to date."},
    {BilingualText::PatchNotDownloaded, "No se pudo bajar el parche. Toca VERIFICAR para reintentar.",
     "Could not download the patch. Tap VERIFY to retry."},
    {BilingualText::ForceHint,
     "FORZAR reintenta desde el Servidor Secundario (solo si la descarga falla; no es mas rapido). ",
     "FORCE retries from the Secondary Server (only if the download fails; it is not faster). "},
    {BilingualText::ForcingDownload, "Forzando la descarga desde el Servidor Secundario...",
     "Forcing the download from the Secondary Server..."},
    {BilingualText::LauncherRestarting, "Launcher actualizado. Reiniciando...", "Launcher updated. Restarting..."},
    {BilingualText::LauncherRestartFailed, "Launcher actualizado: cierralo y abrelo de nuevo.",
     "Launcher updated: close it and open it again."},
};

char lowerAsciiChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

const char* uiText(UiText id) {
    for (const Entry& entry : kTexts) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    return "";
}

const char* uiText(BilingualText id, bool spanish) {
    for (const BilingualEntry& entry : kBilingualTexts) {
        if (entry.id == id) {
            return spanish ? entry.spanish : entry.english;
        }
    }
    return "";
}

bool isSpanishLanguageCode(std::string_view code) {
    constexpr std::string_view kSpanish = "spn";
    if (code.size() != kSpanish.size()) {
        return false;
    }
    for (std::size_t i = 0; i < code.size(); ++i) {
        if (lowerAsciiChar(code[i]) != kSpanish[i]) {
            return false;
        }
    }
    return true;
}

} // namespace launcher
