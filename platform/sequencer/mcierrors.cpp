// The texts of the media control service's error codes, as a Chinese
// desktop's media service words them, and in English for a program whose
// other texts are English (the command line under a non-Chinese locale).
#include <algorithm>
#include <cstring>
#include <span>

#include "platform/sequencer/mci.h"

namespace {

struct ErrorText {
  MCIERROR code;
  const char* text;
};

bool gEnglish = false;

const ErrorText kTexts[] = {
    {MCIERR_INVALID_DEVICE_ID, "无效的设备标识符。没有打开的设备使用此标识符，请先打开设备。"},
    {MCIERR_UNRECOGNIZED_COMMAND, "无法识别指定的命令。"},
    {MCIERR_HARDWARE, "媒体设备出现硬件错误。请检查声卡是否工作正常。"},
    {MCIERR_INVALID_DEVICE_NAME, "指定的设备没有打开，或者不被 MCI 识别。"},
    {MCIERR_OUT_OF_MEMORY, "内存不足，无法完成此操作。请关闭一些程序后再试。"},
    {MCIERR_CANNOT_LOAD_DRIVER, "无法加载指定的设备驱动程序。"},
    {MCIERR_BAD_INTEGER, "命令中的整数无效。"},
    {MCIERR_MISSING_PARAMETER, "命令缺少必需的参数。"},
    {MCIERR_UNSUPPORTED_FUNCTION, "MCI 设备不支持该命令。"},
    {MCIERR_FILE_NOT_FOUND, "找不到指定的文件。请确认路径和文件名是否正确。"},
    {MCIERR_DEVICE_NOT_READY, "设备驱动程序尚未就绪。"},
    {MCIERR_INTERNAL, "初始化 MCI 时出错。请重新启动程序。"},
    {MCIERR_EXTENSION_NOT_FOUND, "不支持的文件类型：无法根据文件的内容或扩展名确定使用哪个设备。"},
    {MCIERR_OUTOFRANGE, "指定的参数值超出了此命令的范围。"},
    {MCIERR_FLAGS_NOT_COMPATIBLE, "指定的参数不能一起使用。"},
    {MCIERR_BAD_TIME_FORMAT, "指定的时间格式无效。"},
    {MCIERR_INVALID_FILE, "无法播放指定的文件：文件已损坏，或者不是可识别的声音文件。"},
    {MCIERR_NULL_PARAMETER_BLOCK, "传递给 MCI 的参数块为空。"},
    {MCIERR_FILENAME_REQUIRED, "必须指定有效的文件名。"},
    {MCIERR_WAVE_OUTPUTSINUSE, "所有波形输出设备都在使用中。请等待其中一个空闲后再试。"},
    {MCIERR_WAVE_OUTPUTSUNSUITABLE, "没有能够播放此文件格式的波形输出设备。"},
    {MCIERR_SEQ_PORT_INUSE, "指定的 MIDI 设备正在使用中。请等待它空闲后再试。"},
    {MCIERR_SEQ_NOMIDIPRESENT, "系统中没有可用的 MIDI 音色库（SoundFont），无法播放 MIDI 文件。"},
    {MCIERR_FILE_READ, "读取文件时出错。请确认文件存在并且可以读取。"},
    {MCIERR_SEQ_NOT_MIDI, "指定的文件不是有效的 MIDI 文件。"},
    {MCIERR_SEQ_NO_NOTES, "MIDI 文件中没有可以播放的音符。"},
    {MCIERR_SEQ_TRUNCATED, "MIDI 文件不完整：文件在音轨结束之前就结束了。"},
};

const ErrorText kEnglishTexts[] = {
    {MCIERR_INVALID_DEVICE_ID, "Invalid device identifier: no open device uses it. Open the device first."},
    {MCIERR_UNRECOGNIZED_COMMAND, "The command was not recognized."},
    {MCIERR_HARDWARE, "The media device reported a hardware error. Check that the sound card works."},
    {MCIERR_INVALID_DEVICE_NAME, "The device is not open or is not known to the media control service."},
    {MCIERR_OUT_OF_MEMORY, "Not enough memory for this operation. Close some programs and try again."},
    {MCIERR_CANNOT_LOAD_DRIVER, "The device driver cannot be loaded."},
    {MCIERR_BAD_INTEGER, "An integer in the command is invalid."},
    {MCIERR_MISSING_PARAMETER, "The command is missing a required parameter."},
    {MCIERR_UNSUPPORTED_FUNCTION, "The device does not support this command."},
    {MCIERR_FILE_NOT_FOUND, "The file was not found. Check the path and the file name."},
    {MCIERR_DEVICE_NOT_READY, "The device driver is not ready."},
    {MCIERR_INTERNAL, "The media control service could not start. Restart the program."},
    {MCIERR_EXTENSION_NOT_FOUND,
     "Unsupported file type: neither the content nor the extension of the file tells which device plays it."},
    {MCIERR_OUTOFRANGE, "A parameter is out of range for this command."},
    {MCIERR_FLAGS_NOT_COMPATIBLE, "These parameters cannot be used together."},
    {MCIERR_BAD_TIME_FORMAT, "The time format is invalid."},
    {MCIERR_INVALID_FILE, "The file cannot be played: it is damaged or not a known sound file."},
    {MCIERR_NULL_PARAMETER_BLOCK, "The parameter block passed to the media control service is empty."},
    {MCIERR_FILENAME_REQUIRED, "A valid file name is required."},
    {MCIERR_WAVE_OUTPUTSINUSE, "All wave output devices are in use. Wait until one is free and try again."},
    {MCIERR_WAVE_OUTPUTSUNSUITABLE, "No wave output device can play this file's format."},
    {MCIERR_SEQ_PORT_INUSE, "The MIDI device is in use. Wait until it is free and try again."},
    {MCIERR_SEQ_NOMIDIPRESENT, "No MIDI soundfont is available: MIDI files cannot be played."},
    {MCIERR_FILE_READ, "The file could not be read. Check that it exists and can be read."},
    {MCIERR_SEQ_NOT_MIDI, "The file is not a valid MIDI file."},
    {MCIERR_SEQ_NO_NOTES, "The MIDI file holds no notes to play."},
    {MCIERR_SEQ_TRUNCATED, "The MIDI file is incomplete: it ends before its track does."},
};

}  // namespace

void mciUseEnglishTexts(bool english) { gEnglish = english; }
bool mciEnglishTexts() { return gEnglish; }

BOOL mciGetErrorString(MCIERROR error, char* text, UINT cchText) {
  if (text && cchText > 0) text[0] = '\0';
  const std::span<const ErrorText> texts = gEnglish ? std::span<const ErrorText>(kEnglishTexts) : kTexts;
  for (const ErrorText& e : texts) {
    if (e.code != error) continue;
    if (!text || cchText == 0) return true;
    std::size_t n = std::min<std::size_t>(std::strlen(e.text), cchText - 1);
    // Never cut a character in two: back up to the start of a UTF-8 sequence.
    if (n < std::strlen(e.text))
      while (n > 0 && (static_cast<unsigned char>(e.text[n]) & 0xC0) == 0x80) --n;
    std::memcpy(text, e.text, n);
    text[n] = '\0';
    return true;
  }
  return false;
}
