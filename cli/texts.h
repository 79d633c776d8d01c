// The command line's texts in English and Chinese: Chinese when the
// interface's language is (`--lang`, else the locale: LC_ALL, LC_MESSAGES,
// LANG).
#pragma once

#include <QString>

namespace cli {

bool ChineseLocale();
// The text for the locale; both are UTF-8.
QString Tr(const char* english, const char* chinese);

// Help of the whole program and of each sub-command.
QString MainHelp();
QString RecordHelp();
QString ConvertHelp();
QString PlayHelp();
QString DevicesHelp();
QString LyricsHelp();
QString ScoreHelp();

}  // namespace cli
