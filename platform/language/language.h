// The interface's language: Chinese (the program's source texts) or a
// translation compiled in from translations/*.ts (English). It is chosen
// once at start-up: `--lang` on the command line, else the settings window's
// choice, else the desktop's locale (LC_ALL, LC_MESSAGES, LANG: "zh*" is
// Chinese, a language with a translation is that one, anything else
// English).
#pragma once

#include <QString>

class QCoreApplication;

namespace language {

// "zh", "en" or the code of another translation.
QString Current();
bool Chinese();

// Sets the language for this run; false (nothing changed) for a code that
// is neither "zh" nor one of a translation.
bool Choose(const QString& code);
// The language of the locale's environment variables.
QString FromLocale();

// The settings window's choice: "zh", "en", or empty to follow the locale.
QString Saved();
void Save(const QString& code);

// Chooses the saved language (when `saved`; the window's choice) or the
// locale's, unless Choose came first; then installs the translation of the
// program's texts and of Qt's own (buttons of message and file boxes).
void Install(QCoreApplication& app, bool saved);

// The system's reason for `error` (an errno value) in the interface's
// language, e.g. "权限不够" / "Permission denied".
QString Reason(int error);

// "无法创建文件 PATH：REASON" / "cannot create PATH: REASON" and the like:
// the second line of an error about a file.
QString CannotCreate(const QString& path, int error);
QString CannotOpen(const QString& path, int error);
QString CannotWrite(const QString& path, int error);
// "PATH 不是WAV文件" / "PATH is not a WAV file".
QString NotAWave(const QString& path);
// "无法解码 PATH 的声音格式" / "the sound format of PATH cannot be decoded".
QString CannotDecode(const QString& path);

}  // namespace language
