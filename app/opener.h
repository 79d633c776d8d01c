// Opening documents and addresses with the user's default programs: a local
// HTML page in the browser, a web page, a new mail. The result is not
// checked: a missing page or program is the desktop's to report.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

// Hands `url` to the desktop (QDesktopServices), or to the replacement.
void ShellOpen(const QUrl& url);

// Replaces the desktop, for tests; an empty function restores it.
void SetUrlOpener(std::function<void(const QUrl&)> opener);

// The maker's addresses, opened by the web and mail commands and shown in
// the about box.
namespace maker {
inline constexpr const char* kName = "Quillmoor";
inline constexpr const char* kWebSite = "http://www.quillmoor.example/";
inline constexpr const char* kWebSiteShown = "www.quillmoor.example";
inline constexpr const char* kMailAddress = "tunelark@quillmoor.example";
}  // namespace maker
