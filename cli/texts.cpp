#include "cli/texts.h"

#include "platform/language/language.h"

namespace cli {

bool ChineseLocale() { return language::Chinese(); }

QString Tr(const char* english, const char* chinese) {
  return QString::fromUtf8(ChineseLocale() ? chinese : english);
}

QString MainHelp() {
  return Tr(
      "Usage: tunelark COMMAND [OPTIONS]\n"
      "       tunelark [FILE]\n"
      "Without a command, tunelark opens its window (it needs a display), with\n"
      "FILE as the take (a WAV file) or the accompaniment when one is given.\n"
      "\n"
      "Commands:\n"
      "  record    record a take while an accompaniment plays\n"
      "  convert   convert WAV files to MP3\n"
      "  play      play a take or an accompaniment to its end\n"
      "  devices   list the audio devices and soundfonts\n"
      "  lyrics    print a song's lyrics with their times\n"
      "  score     score a sung voice against a song's melody\n"
      "\n"
      "Run 'tunelark COMMAND --help' for the options of a command.\n"
      "--lang zh|en, anywhere, chooses the language (otherwise the locale's).\n"
      "Exit codes: 0 done, 1 failed, 2 bad usage.\n",
      "用法: tunelark 命令 [选项]\n"
      "      tunelark [文件]\n"
      "不带命令时, tunelark 打开主窗口(需要显示器); 给出文件时,\n"
      "WAV 文件作为录音打开, 其他文件作为伴奏打开。\n"
      "\n"
      "命令:\n"
      "  record    播放伴奏的同时录音\n"
      "  convert   把 WAV 文件转成 MP3\n"
      "  play      播放录音或伴奏直到结束\n"
      "  devices   列出音频设备和音色库\n"
      "  lyrics    显示歌曲的歌词和时间\n"
      "  score     按歌曲的旋律给演唱的人声打分\n"
      "\n"
      "用 'tunelark 命令 --help' 查看命令的选项。\n"
      "--lang zh|en (位置不限) 选择语言 (默认跟随区域设置)。\n"
      "退出码: 0 完成, 1 失败, 2 用法错误。\n");
}

QString RecordHelp() {
  return Tr(
      "Usage: tunelark record --accompaniment FILE --out TAKE.wav [OPTIONS]\n"
      "       tunelark record --seconds N --out TAKE.wav [OPTIONS]\n"
      "Plays the accompaniment and records the sound card's recording mix\n"
      "(microphone and accompaniment) into a WAV file, 16-bit stereo.\n"
      "Recording stops when the accompaniment ends, after N seconds, or on\n"
      "Ctrl+C, SIGTERM or SIGHUP (the take is kept; the exit code is then 0).\n"
      "A new take is written under its own name from the start; one that\n"
      "replaces an older file (--force) is written beside it and takes its name\n"
      "when finished.\n"
      "With a MIDI song that has a melody, the singing is scored: \"score S\" at\n"
      "the end (0 to 10000) and TAKE.score.json beside the take.\n"
      "\n"
      "  -a, --accompaniment FILE   MIDI, WAV or MP3 accompaniment\n"
      "  -o, --out FILE.wav         the WAV file to make\n"
      "  -s, --seconds N            record N seconds\n"
      "      --quality Q            high (44100 Hz, default), medium (22050 Hz), low (11025 Hz)\n"
      "      --mp3 FILE             also save the take as MP3\n"
      "      --stems                also keep the microphone alone in TAKE.voice.wav\n"
      "      --key N                play the accompaniment N semitones higher (-12 to 12,\n"
      "                             negative: lower); drums stay as they are\n"
      "      --tempo P              play it at P percent of its speed (50 to 200)\n"
      "      --difficulty D         easy, normal (default) or hard scoring\n"
      "      --channel N            the melody is channel N (1 to 16) of the song\n"
      "      --echo MS              the microphone in the speakers with an echo MS\n"
      "                             milliseconds later (50 to 1000); the take stays dry\n"
      "      --reverb R             the microphone in the speakers with a reverb: room,\n"
      "                             hall or plate (off: none)\n"
      "      --monitor              the microphone in the speakers, without an effect\n"
      "      --record-effects       the take gets the echo and reverb too\n"
      "  -f, --force                replace existing output files\n"
      "  -q, --quiet                no progress display\n"
      "  -h, --help                 this help\n",
      "用法: tunelark record --accompaniment 文件 --out 录音.wav [选项]\n"
      "      tunelark record --seconds 秒数 --out 录音.wav [选项]\n"
      "播放伴奏, 同时把声卡的录音混音(麦克风和伴奏)录进 WAV 文件, 16位立体声。\n"
      "伴奏结束、到达指定秒数或收到 Ctrl+C、SIGTERM、SIGHUP 时停止录音(录音会保存, 退出码为 0)。\n"
      "新录音从一开始就写在它自己的文件名下; 覆盖已有文件(--force)时先写在旁边,\n"
      "录完后再换上原来的文件名。\n"
      "有旋律的 MIDI 歌曲会给演唱打分: 结束时显示 \"score 分数\"(0 到 10000), 并在录音旁保存 录音.score.json。\n"
      "\n"
      "  -a, --accompaniment 文件   MIDI、WAV 或 MP3 伴奏\n"
      "  -o, --out 文件.wav         要生成的 WAV 文件\n"
      "  -s, --seconds 秒数         录制的秒数\n"
      "      --quality 音质         high (44100 Hz, 默认), medium (22050 Hz), low (11025 Hz)\n"
      "      --mp3 文件             同时保存为 MP3\n"
      "      --stems                另存麦克风干声到 录音.voice.wav\n"
      "      --key N                伴奏升高 N 个半音(-12 到 12, 负数为降低); 鼓声不变\n"
      "      --tempo P              伴奏以原速的 P% 播放(50 到 200)\n"
      "      --difficulty D         评分难度: easy、normal(默认) 或 hard\n"
      "      --channel N            旋律取自歌曲的第 N 通道(1 到 16)\n"
      "      --echo 毫秒            扬声器里的麦克风加回声, 延迟 50 到 1000 毫秒; 录音仍是干声\n"
      "      --reverb R             扬声器里的麦克风加混响: room、hall 或 plate(off: 不加)\n"
      "      --monitor              把麦克风送到扬声器, 不加效果\n"
      "      --record-effects       录音也带上回声和混响\n"
      "  -f, --force                覆盖已有的输出文件\n"
      "  -q, --quiet                不显示进度\n"
      "  -h, --help                 显示本帮助\n");
}

QString ConvertHelp() {
  return Tr(
      "Usage: tunelark convert IN.wav... [-o OUT.mp3 | --out-dir DIR] [OPTIONS]\n"
      "Converts each WAV file to MP3 (beside it, into DIR, or one file to OUT.mp3).\n"
      "A file that fails does not stop the others.\n"
      "\n"
      "  -o, --out FILE      the MP3 file (one input only)\n"
      "      --out-dir DIR   the folder for the MP3 files\n"
      "      --bitrate K     kbit/s: 32, 40, 48, 56, 64, 80, 96, 112, 128 (default), 160, 192, 224, 256, 320\n"
      "      --lyrics SONG   tag the MP3 with the song's lyrics (title, artist, words in time)\n"
      "  -f, --force         replace existing output files\n"
      "  -q, --quiet         no progress display\n"
      "  -h, --help          this help\n",
      "用法: tunelark convert 输入.wav... [-o 输出.mp3 | --out-dir 文件夹] [选项]\n"
      "把每个 WAV 文件转成 MP3(放在原文件旁、指定文件夹中, 或单个文件转成 输出.mp3)。\n"
      "某个文件失败不影响其他文件。\n"
      "\n"
      "  -o, --out 文件       MP3 文件(只用于一个输入)\n"
      "      --out-dir 文件夹 MP3 文件所在的文件夹\n"
      "      --bitrate K      千比特/秒: 32, 40, 48, 56, 64, 80, 96, 112, 128 (默认), 160, 192, 224, 256, 320\n"
      "      --lyrics 歌曲    把歌曲的歌词写进 MP3 标签(标题、歌手、带时间的歌词)\n"
      "  -f, --force          覆盖已有的输出文件\n"
      "  -q, --quiet          不显示进度\n"
      "  -h, --help           显示本帮助\n");
}

QString PlayHelp() {
  return Tr(
      "Usage: tunelark play FILE [OPTIONS]\n"
      "Plays a take (WAV) or an accompaniment (MIDI, WAV, MP3) to its end;\n"
      "Ctrl+C stops it. With --key or --tempo a WAV file plays as an accompaniment.\n"
      "\n"
      "      --key N   N semitones higher (-12 to 12, negative: lower)\n"
      "      --tempo P at P percent of the speed (50 to 200)\n"
      "  -q, --quiet   no progress display\n"
      "  -h, --help    this help\n",
      "用法: tunelark play 文件 [选项]\n"
      "播放录音(WAV)或伴奏(MIDI、WAV、MP3)直到结束; 按 Ctrl+C 停止。\n"
      "给出 --key 或 --tempo 时, WAV 文件作为伴奏播放。\n"
      "\n"
      "      --key N   升高 N 个半音(-12 到 12, 负数为降低)\n"
      "      --tempo P 以原速的 P% 播放(50 到 200)\n"
      "  -q, --quiet   不显示进度\n"
      "  -h, --help    显示本帮助\n");
}

QString DevicesHelp() {
  return Tr(
      "Usage: tunelark devices\n"
      "Lists the host's audio devices, the virtual device, the soundfonts found,\n"
      "and marks those in use.\n"
      "\n"
      "  -h, --help    this help\n",
      "用法: tunelark devices\n"
      "列出本机的音频设备、虚拟设备和找到的音色库, 并标出正在使用的。\n"
      "\n"
      "  -h, --help    显示本帮助\n");
}

QString LyricsHelp() {
  return Tr(
      "Usage: tunelark lyrics FILE [--format lrc|text] [--encoding NAME] [--tempo P]\n"
      "Prints the lyrics of a song in UTF-8: of a MIDI or .kar file, of an .lrc\n"
      "file, or of a WAV or MP3 backing (the .lrc file of the same name beside\n"
      "it, or the MP3's lyrics tags). Exit code 1 when the song has none.\n"
      "\n"
      "      --format F       lrc (default): enhanced LRC, a time for each line and\n"
      "                       each syllable; text: the lines only\n"
      "      --encoding NAME  the text encoding of the words (UTF-8, GB18030, BIG5,\n"
      "                       CP932, WINDOWS-1252...); found by itself otherwise\n"
      "      --tempo P        the times as heard with the song played at P percent\n"
      "                       of its speed (50 to 200; default 100)\n"
      "  -h, --help           this help\n",
      "用法: tunelark lyrics 文件 [--format lrc|text] [--encoding 编码] [--tempo P]\n"
      "以 UTF-8 显示歌曲的歌词: MIDI 或 .kar 文件、.lrc 文件, 或 WAV、MP3 伴奏\n"
      "(旁边同名的 .lrc 文件, 或 MP3 的歌词标签)。歌曲没有歌词时退出码为 1。\n"
      "\n"
      "      --format 格式    lrc (默认): 增强 LRC, 每行和每个音节都带时间;\n"
      "                       text: 只有歌词行\n"
      "      --encoding 编码  歌词的文字编码(UTF-8、GB18030、BIG5、CP932、\n"
      "                       WINDOWS-1252...); 不给时自动识别\n"
      "      --tempo P        歌曲以原速的 P% 播放时听到的时间(50 到 200; 默认 100)\n"
      "  -h, --help           显示本帮助\n");
}

QString ScoreHelp() {
  return Tr(
      "Usage: tunelark score VOICE --accompaniment SONG [OPTIONS]\n"
      "Scores a sung voice (a WAV, FLAC... file whose first frame is the song's\n"
      "start) against the melody of a MIDI song, 0 to 10000: the notes share 9000\n"
      "points by length, each line sung at least 80% on pitch adds its share of\n"
      "1000. Prints each line (its time in the song, the part on pitch, its points,\n"
      "its words), then 'score S' as the last line.\n"
      "\n"
      "  -a, --accompaniment SONG  the MIDI or .kar song that was sung to\n"
      "      --key N               the song was played N semitones higher (-12 to 12)\n"
      "      --tempo P             the song was played at P percent of its speed (50 to 200)\n"
      "      --difficulty D        easy (2 semitones), normal (1, default), hard (0.5)\n"
      "      --channel N           the melody is MIDI channel N (1 to 16); found otherwise\n"
      "      --encoding NAME       the text encoding of the song's words\n"
      "      --json                print the score as JSON only\n"
      "  -h, --help                this help\n",
      "用法: tunelark score 人声 --accompaniment 歌曲 [选项]\n"
      "按 MIDI 歌曲的旋律给演唱的人声(WAV、FLAC 等文件, 第一帧是歌曲的开始)打分,\n"
      "0 到 10000: 各音符按长度分 9000 分, 音准达到 80% 的每一行再加它那一份 1000 分。\n"
      "逐行显示(在歌曲中的时间、音准比例、得分、歌词), 最后一行是 'score S'。\n"
      "\n"
      "  -a, --accompaniment 歌曲  演唱时的 MIDI 或 .kar 歌曲\n"
      "      --key N               歌曲升高了 N 个半音(-12 到 12)\n"
      "      --tempo P             歌曲以原速的 P% 播放(50 到 200)\n"
      "      --difficulty 难度     easy (2 个半音), normal (1, 默认), hard (0.5)\n"
      "      --channel N           旋律在 MIDI 第 N 通道(1 到 16); 不给时自动寻找\n"
      "      --encoding 编码       歌曲歌词的文字编码\n"
      "      --json                只以 JSON 输出分数\n"
      "  -h, --help                显示本帮助\n");
}

}  // namespace cli
