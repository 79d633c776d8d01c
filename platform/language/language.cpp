#include "platform/language/language.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSettings>
#include <QTranslator>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace language {

namespace {

QString& Chosen() {
  static QString code;
  return code;
}

QSettings Settings() { return QSettings(QStringLiteral("Tunelark"), QStringLiteral("Interface")); }

// Chinese (the source texts), English (also the components' own language),
// or another language whose translation is built in.
bool Known(const QString& code) {
  if (code == QLatin1String("zh") || code == QLatin1String("en")) return true;
  static const QRegularExpression word(QStringLiteral("^[a-z]{2,3}$"));
  return word.match(code).hasMatch() && QFile::exists(QStringLiteral(":/translations/tunelark_%1.qm").arg(code));
}

// The reasons a singer meets, in the program's source language; the other
// languages translate them like any text. glibc's own Chinese texts are
// used, so the two read alike.
struct TReason {
  int error;
  const char* text;
};

const TReason kReasons[] = {
    {EPERM, QT_TRANSLATE_NOOP("Reason", "不允许的操作")},
    {ENOENT, QT_TRANSLATE_NOOP("Reason", "没有那个文件或目录")},
    {EIO, QT_TRANSLATE_NOOP("Reason", "输入/输出错误")},
    {ENXIO, QT_TRANSLATE_NOOP("Reason", "没有那个设备或地址")},
    {EACCES, QT_TRANSLATE_NOOP("Reason", "权限不够")},
    {EBUSY, QT_TRANSLATE_NOOP("Reason", "设备或资源忙")},
    {EEXIST, QT_TRANSLATE_NOOP("Reason", "文件已存在")},
    {EXDEV, QT_TRANSLATE_NOOP("Reason", "无效的跨设备链接")},
    {ENODEV, QT_TRANSLATE_NOOP("Reason", "没有那个设备")},
    {ENOTDIR, QT_TRANSLATE_NOOP("Reason", "不是目录")},
    {EISDIR, QT_TRANSLATE_NOOP("Reason", "是一个目录")},
    {EINVAL, QT_TRANSLATE_NOOP("Reason", "无效的参数")},
    {EMFILE, QT_TRANSLATE_NOOP("Reason", "打开的文件过多")},
    {ETXTBSY, QT_TRANSLATE_NOOP("Reason", "文本文件忙")},
    {EFBIG, QT_TRANSLATE_NOOP("Reason", "文件过大")},
    {ENOSPC, QT_TRANSLATE_NOOP("Reason", "设备上没有空间")},
    {EROFS, QT_TRANSLATE_NOOP("Reason", "只读文件系统")},
    {ENAMETOOLONG, QT_TRANSLATE_NOOP("Reason", "文件名过长")},
    {ELOOP, QT_TRANSLATE_NOOP("Reason", "符号连接的层数过多")},
    {EDQUOT, QT_TRANSLATE_NOOP("Reason", "超出磁盘限额")},
};

// A text of this file: English is built in (the C library's own language,
// so it does not depend on a translation being loaded); Chinese is the
// source; another language translates the source.
QString Text(const char* chinese, const char* english) {
  if (Current() == QLatin1String("en")) return QString::fromUtf8(english);
  return QCoreApplication::translate("Reason", chinese);
}

QString CEnglishReason(int error) {
  locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
  const QString text = QString::fromLocal8Bit(c ? strerror_l(error, c) : std::strerror(error));
  if (c) freelocale(c);
  return text;
}

}  // namespace

QString FromLocale() {
  // The first variable set decides, as for the C library's messages.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    // "de_DE.UTF-8": German when there is a German translation.
    const QString code = QString::fromLatin1(value).section(QLatin1Char('_'), 0, 0).section(QLatin1Char('.'), 0, 0);
    return Known(code) ? code : QStringLiteral("en");
  }
  return QStringLiteral("en");
}

QString Current() {
  if (Chosen().isEmpty()) Chosen() = FromLocale();
  return Chosen();
}

bool Chinese() { return Current() == QLatin1String("zh"); }

bool Choose(const QString& code) {
  if (!Known(code)) return false;
  Chosen() = code;
  return true;
}

QString Saved() {
  const QString code = Settings().value(QStringLiteral("Language")).toString();
  return Known(code) ? code : QString();
}

void Save(const QString& code) {
  QSettings s = Settings();
  if (Known(code))
    s.setValue(QStringLiteral("Language"), code);
  else
    s.remove(QStringLiteral("Language"));
}

void Install(QCoreApplication& app, bool saved) {
  if (Chosen().isEmpty()) Chosen() = saved && !Saved().isEmpty() ? Saved() : FromLocale();
  // A second call (another language) replaces what the first installed.
  static QTranslator* installed = nullptr;
  if (installed) {
    QCoreApplication::removeTranslator(installed);
    delete installed;
    installed = nullptr;
  }
  auto* translator = new QTranslator(&app);
  // The source texts are Chinese; Qt's own buttons ("Yes", "Cancel") are not.
  const bool loaded =
      Chinese() ? translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                                   QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
                : translator->load(QStringLiteral(":/translations/tunelark_%1.qm").arg(Current()));
  if (!loaded) {
    delete translator;
    return;
  }
  QCoreApplication::installTranslator(translator);
  installed = translator;
}

QString Reason(int error) {
  // The C library's text, untranslated whatever the locale.
  if (Current() == QLatin1String("en")) return CEnglishReason(error);
  for (const TReason& r : kReasons)
    if (r.error == error) return QCoreApplication::translate("Reason", r.text);
  if (Chinese()) return QCoreApplication::translate("Reason", "系统错误 %1").arg(error);
  return CEnglishReason(error);
}

QString CannotCreate(const QString& path, int error) {
  return Text(QT_TRANSLATE_NOOP("Reason", "无法创建文件 %1：%2"), "cannot create %1: %2").arg(path, Reason(error));
}

QString CannotOpen(const QString& path, int error) {
  return Text(QT_TRANSLATE_NOOP("Reason", "无法打开文件 %1：%2"), "cannot open %1: %2").arg(path, Reason(error));
}

QString CannotWrite(const QString& path, int error) {
  return Text(QT_TRANSLATE_NOOP("Reason", "无法写入文件 %1：%2"), "cannot write %1: %2").arg(path, Reason(error));
}

QString NotAWave(const QString& path) {
  return Text(QT_TRANSLATE_NOOP("Reason", "%1 不是WAV文件"), "%1 is not a WAV file").arg(path);
}

QString CannotDecode(const QString& path) {
  return Text(QT_TRANSLATE_NOOP("Reason", "无法解码 %1 的声音格式"), "the sound format of %1 cannot be decoded").arg(path);
}

}  // namespace language
