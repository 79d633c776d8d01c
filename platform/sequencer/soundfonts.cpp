#include "platform/sequencer/soundfonts.h"

#include <QSettings>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace sequencer {

namespace fs = std::filesystem;

namespace {

QSettings Settings() { return QSettings(QStringLiteral("Tunelark"), QStringLiteral("Sequencer")); }

bool IsSoundfont(const fs::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext == ".sf2" || ext == ".sf3";
}

bool IsFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

std::vector<fs::path> Folders() {
  std::vector<fs::path> dirs = {"/usr/share/sounds/sf3", "/usr/share/sounds/sf2", "/usr/share/soundfonts",
                                "/usr/local/share/soundfonts", "/usr/share/sounds/sf"};
  if (const char* home = std::getenv("HOME")) {
    dirs.emplace_back(fs::path(home) / ".local/share/soundfonts");
    dirs.emplace_back(fs::path(home) / ".soundfonts");
  }
  return dirs;
}

// The preferred soundfonts, best first.
const char* const kPreferred[] = {
    "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3",
    "/usr/share/sounds/sf3/MuseScore_General.sf3",
    "/usr/share/sounds/sf2/TimGM6mb.sf2",
    "/usr/share/sounds/sf3/default-GM.sf3",
    "/usr/share/sounds/sf2/default-GM.sf2",
    "/usr/share/sounds/sf2/FluidR3_GM.sf2",
};

}  // namespace

std::vector<std::string> InstalledSoundfonts() {
  std::vector<std::string> out;
  std::vector<fs::path> seen;
  auto add = [&](const fs::path& p) {
    std::error_code ec;
    if (!fs::is_regular_file(p, ec) || !IsSoundfont(p)) return;
    const fs::path real = fs::canonical(p, ec);
    if (ec || std::find(seen.begin(), seen.end(), real) != seen.end()) return;
    seen.push_back(real);
    out.push_back(p.string());
  };
  for (const char* p : kPreferred) add(p);
  for (const fs::path& dir : Folders()) {
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    for (const fs::path& p : files) add(p);
  }
  return out;
}

std::string DefaultSoundfont() {
  for (const char* p : kPreferred)
    if (IsFile(p)) return p;
  return {};
}

std::string RememberedSoundfont() {
  return Settings().value(QStringLiteral("soundfont")).toString().toStdString();
}

void RememberSoundfont(const std::string& path) {
  QSettings s = Settings();
  if (path.empty())
    s.remove(QStringLiteral("soundfont"));
  else
    s.setValue(QStringLiteral("soundfont"), QString::fromStdString(path));
}

std::vector<std::string> SoundfontCandidates() {
  std::vector<std::string> out;
  auto add = [&](const std::string& p) {
    if (IsFile(p) && std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
  };
  if (const char* env = std::getenv("TUNELARK_SOUNDFONT")) add(env);
  add(RememberedSoundfont());
  add(DefaultSoundfont());
  for (const std::string& p : InstalledSoundfonts()) add(p);
  return out;
}

}  // namespace sequencer
