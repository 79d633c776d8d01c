#include "platform/language/messages.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

#include "platform/language/language.h"

namespace language {

namespace {

struct TMessage {
  const char* english;  // the component's text, exactly
  const char* text;     // the program's source text for it
};

const TMessage kMessages[] = {
    {"Change to property while device was open", QT_TRANSLATE_NOOP("Message", "设备打开时不能修改此属性")},
    {"Invalid DeviceID", QT_TRANSLATE_NOOP("Message", "无效的设备标识")},
    {"Unable to open device", QT_TRANSLATE_NOOP("Message", "无法打开设备")},
    {"Unable to close device", QT_TRANSLATE_NOOP("Message", "无法关闭设备")},
    {"Unable to start device", QT_TRANSLATE_NOOP("Message", "无法启动设备")},
    {"Invalid wave format", QT_TRANSLATE_NOOP("Message", "无效的波形格式")},
    {"The actual device can''t record this format", QT_TRANSLATE_NOOP("Message", "当前设备不能录制这种格式")},
    {"The actual device can''t play this format", QT_TRANSLATE_NOOP("Message", "当前设备不能播放这种格式")},
    {"No wave audio recording device found", QT_TRANSLATE_NOOP("Message", "没有找到录音设备")},
    {"No wave audio playing device found", QT_TRANSLATE_NOOP("Message", "没有找到放音设备")},
    {"Error filling wave buffer", QT_TRANSLATE_NOOP("Message", "填充波形缓冲区时出错")},
    {"Could not create thread", QT_TRANSLATE_NOOP("Message", "无法创建线程")},
    {"Error reading wave file", QT_TRANSLATE_NOOP("Message", "读取波形文件时出错")},
    {"Invalid wave file...", QT_TRANSLATE_NOOP("Message", "无效的波形文件...")},
    {"Unable to setup file IO buffer", QT_TRANSLATE_NOOP("Message", "无法设置文件读写缓冲区")},
    {"Unable to open wave file", QT_TRANSLATE_NOOP("Message", "无法打开波形文件")},
    {"Unable to create wave file", QT_TRANSLATE_NOOP("Message", "无法创建波形文件")},
    {"Error seeking file position", QT_TRANSLATE_NOOP("Message", "定位文件位置时出错")},
    {"Read Error", QT_TRANSLATE_NOOP("Message", "读取错误")},
    {"Write error", QT_TRANSLATE_NOOP("Message", "写入错误")},
    {"Write Error", QT_TRANSLATE_NOOP("Message", "写入错误")},
    {"Cannot create file \"%1\".", QT_TRANSLATE_NOOP("Message", "无法创建文件“%1”。")},
    {"Cannot open file \"%1\".", QT_TRANSLATE_NOOP("Message", "无法打开文件“%1”。")},
    {"A conversion to MP3 is already running", QT_TRANSLATE_NOOP("Message", "已经有一个MP3转换正在进行")},
    {"This is a read-only property, please use SelectFormat.",
     QT_TRANSLATE_NOOP("Message", "这是只读属性，请使用 SelectFormat。")},
};

QString Line(const QString& line) {
  // English is the components' own language: their texts stay exactly.
  if (Current() == QLatin1String("en")) return line;
  // Device errors put "\n\r" between the call and the text.
  const bool returned = line.startsWith(QLatin1Char('\r'));
  const QString bare = returned ? line.mid(1) : line;
  for (const TMessage& m : kMessages) {
    // A text with "%1" (a file's name) matches any name there.
    const QString english = QString::fromLatin1(m.english);
    QString name;
    if (english.contains(QLatin1String("%1"))) {
      const QStringList parts = english.split(QLatin1String("%1"));
      const QRegularExpression pattern(QLatin1Char('^') + QRegularExpression::escape(parts.first()) +
                                       QLatin1String("(.*)") + QRegularExpression::escape(parts.last()) +
                                       QLatin1Char('$'));
      const QRegularExpressionMatch match = pattern.match(bare);
      if (!match.hasMatch()) continue;
      name = match.captured(1);
    } else if (bare != english) {
      continue;
    }
    QString shown = Chinese() ? QString::fromUtf8(m.text) : QCoreApplication::translate("Message", m.text);
    if (!name.isNull()) shown = shown.arg(name);
    // The component's own text stays as it is, word for word (scripts and
    // help pages quote it); what it means follows in the interface's language.
    return shown == bare ? line : line + QLatin1Char('\n') + shown;
  }
  return line;
}

}  // namespace

QString Message(const QString& text) {
  QStringList lines = text.split(QLatin1Char('\n'));
  for (QString& line : lines) line = Line(line);
  return lines.join(QLatin1Char('\n'));
}

}  // namespace language
