// Paths as the Win32 wide-character calls take them. Included by the Win32 files of
// platform/ only.
#ifndef C6X_VELM_PLATFORM_WIN32_WIDE_H
#define C6X_VELM_PLATFORM_WIN32_WIDE_H

#include <windows.h>

#include <climits>
#include <string>

namespace velm {

// The arguments arrive in the process's ANSI code page, which the application manifest
// makes UTF-8 (from Windows 10 version 1903 on). Converting back with that same code page
// finds the file the user named on older versions too. "" when it cannot be converted,
// which no file is named.
inline std::wstring wide(const std::string& path) {
    if (path.empty() || path.size() > INT_MAX) return std::wstring();
    int size = static_cast<int>(path.size());
    int n = ::MultiByteToWideChar(CP_ACP, 0, path.data(), size, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path.data(), size, &w[0], n);
    return w;
}

}  // namespace velm

#endif
