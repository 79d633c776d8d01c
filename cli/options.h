// Parsing of a sub-command's arguments, and the two ways a sub-command
// fails: bad usage (exit code 2) and failure (exit code 1).
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <stdexcept>

namespace cli {

// Bad usage: the sub-command's help is not shown, only the reason.
class ECliUsage : public std::runtime_error {
 public:
  explicit ECliUsage(const QString& reason) : std::runtime_error(reason.toStdString()) {}
};

// The command could not be done.
class ECliFailure : public std::runtime_error {
 public:
  explicit ECliFailure(const QString& reason) : std::runtime_error(reason.toStdString()) {}
};

// One option: its long name ("out"), an optional one-letter name ('o') and
// whether it takes a value.
struct TOptionDef {
  const char* name;
  char letter;
  bool takesValue;
};

// The parsed arguments: options given by long name, and the others in order.
// "--name=value", "--name value", "-o value" and "--" are understood.
struct TParsedArgs {
  QMap<QString, QString> options;
  QStringList positional;

  bool Has(const char* name) const { return options.contains(QString::fromLatin1(name)); }
  QString Value(const char* name) const { return options.value(QString::fromLatin1(name)); }
};

// Raises ECliUsage for an unknown option, a missing value or an option
// given twice.
TParsedArgs ParseArgs(const QStringList& args, std::initializer_list<TOptionDef> options);

// A whole number from `low` to `high`, or ECliUsage naming the option.
int IntValue(const TParsedArgs& parsed, const char* name, int low, int high);

}  // namespace cli
