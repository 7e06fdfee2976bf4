#pragma once
// Paths that the build hands to Windows tests, which run under Wine.

#include <string>

namespace kyrtest {

// The build gives Unix paths; Wine reaches the Unix root as drive Z:.
inline std::string windowsPath(std::string hostPath) {
    if (!hostPath.empty() && hostPath.front() == '/') {
        hostPath = "Z:" + hostPath;
    }
    for (char& c : hostPath) {
        c = c == '/' ? '\\' : c;
    }
    return hostPath;
}

} // namespace kyrtest
