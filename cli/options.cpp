#include "cli/options.h"

#include <vector>

#include "cli/texts.h"

namespace cli {

namespace {

const TOptionDef* Find(const std::vector<TOptionDef>& options, const QString& longName, QChar letter) {
  for (const TOptionDef& s : options) {
    if (!longName.isEmpty() && longName == QLatin1String(s.name)) return &s;
    if (longName.isEmpty() && s.letter != 0 && letter == QLatin1Char(s.letter)) return &s;
  }
  return nullptr;
}

}  // namespace

TParsedArgs ParseArgs(const QStringList& args, std::initializer_list<TOptionDef> list) {
  const std::vector<TOptionDef> options(list);
  TParsedArgs parsed;
  bool optionsEnded = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (optionsEnded || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
      parsed.positional << arg;
      continue;
    }
    if (arg == QLatin1String("--")) {
      optionsEnded = true;
      continue;
    }
    QString longName;
    QString inlineValue;
    bool hasInline = false;
    const TOptionDef* option = nullptr;
    if (arg.startsWith(QLatin1String("--"))) {
      longName = arg.mid(2);
      const qsizetype eq = longName.indexOf(QLatin1Char('='));
      if (eq >= 0) {
        inlineValue = longName.mid(eq + 1);
        longName.truncate(eq);
        hasInline = true;
      }
      option = Find(options, longName, QChar());
    } else if (arg.size() == 2) {
      option = Find(options, QString(), arg[1]);
    }
    if (!option) throw ECliUsage(Tr("unknown option: %1", "未知的选项: %1").arg(arg));
    const QString name = QString::fromLatin1(option->name);
    if (parsed.options.contains(name))
      throw ECliUsage(Tr("option given twice: --%1", "选项重复: --%1").arg(name));
    if (!option->takesValue) {
      if (hasInline) throw ECliUsage(Tr("option --%1 takes no value", "选项 --%1 不带值").arg(name));
      parsed.options.insert(name, QString());
      continue;
    }
    if (!hasInline) {
      if (i + 1 >= args.size()) throw ECliUsage(Tr("option --%1 needs a value", "选项 --%1 需要一个值").arg(name));
      inlineValue = args[++i];
    }
    parsed.options.insert(name, inlineValue);
  }
  return parsed;
}

int IntValue(const TParsedArgs& parsed, const char* name, int low, int high) {
  bool ok = false;
  const int value = parsed.Value(name).toInt(&ok);
  if (!ok || value < low || value > high)
    throw ECliUsage(Tr("--%1 needs a whole number from %2 to %3", "--%1 需要 %2 到 %3 之间的整数")
                        .arg(QString::fromLatin1(name))
                        .arg(low)
                        .arg(high));
  return value;
}

}  // namespace cli
