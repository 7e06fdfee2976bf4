#include "launcher/ui/interface_texts.hpp"

#include <windows.h>

namespace launcher {

bool isSpanish(const std::string& configPath) {
    char language[16] = {};
    GetPrivateProfileStringA("Custom", "Language", "Eng", language, sizeof language, configPath.c_str());
    return isSpanishLanguageCode(language);
}

} // namespace launcher
