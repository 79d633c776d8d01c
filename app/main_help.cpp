// The main window's settings, help, web, mail and about commands.
#include <QFileInfo>

#include "app/about.h"
#include "app/config.h"
#include "app/datadir.h"
#include "app/formstyle.h"
#include "app/main.h"
#include "app/opener.h"
#include "platform/language/language.h"

// Shown without blocking the main window; a second call brings it up again.
void TForm1::showconfigClick() {
  if (Form2) ShowInFront(Form2);
}

namespace {

// A help page in the interface's language: the Chinese pages in help/, the
// others in help/<language>/, English where a language has none.
QUrl HelpPage(const QString& name) {
  if (language::Chinese()) return QUrl::fromLocalFile(ProgramDataPath(QStringLiteral("help/") + name));
  const QString own = ProgramDataPath(QStringLiteral("help/%1/").arg(language::Current()) + name);
  return QUrl::fromLocalFile(QFileInfo::exists(own) ? own : ProgramDataPath(QStringLiteral("help/en/") + name));
}

}  // namespace

void TForm1::helpClick() { ShellOpen(HelpPage(QStringLiteral("index.htm"))); }

// The note under the volume panel: the page on recording the accompaniment.
void TForm1::Label6Click() { ShellOpen(HelpPage(QStringLiteral("faq.htm"))); }

void TForm1::websiteClick() { ShellOpen(QUrl(QString::fromLatin1(maker::kWebSite))); }

void TForm1::emailClick() {
  ShellOpen(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(maker::kMailAddress)));
}

void TForm1::Tunelark1Click() {
  if (AboutBox) ShowInFront(AboutBox);
}
