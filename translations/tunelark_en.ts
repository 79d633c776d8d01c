<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Message</name>
    <message>
        <location filename="../platform/language/messages.cpp" line="+19"/>
        <source>设备打开时不能修改此属性</source>
        <translation>Change to property while device was open</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无效的设备标识</source>
        <translation>Invalid DeviceID</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无法打开设备</source>
        <translation>Unable to open device</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无法关闭设备</source>
        <translation>Unable to close device</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无法启动设备</source>
        <translation>Unable to start device</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无效的波形格式</source>
        <translation>Invalid wave format</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>当前设备不能录制这种格式</source>
        <translation>The actual device can&apos;&apos;t record this format</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>当前设备不能播放这种格式</source>
        <translation>The actual device can&apos;&apos;t play this format</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>没有找到录音设备</source>
        <translation>No wave audio recording device found</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>没有找到放音设备</source>
        <translation>No wave audio playing device found</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>填充波形缓冲区时出错</source>
        <translation>Error filling wave buffer</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无法创建线程</source>
        <translation>Could not create thread</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>读取波形文件时出错</source>
        <translation>Error reading wave file</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无效的波形文件...</source>
        <translation>Invalid wave file...</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无法设置文件读写缓冲区</source>
        <translation>Unable to setup file IO buffer</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无法打开波形文件</source>
        <translation>Unable to open wave file</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无法创建波形文件</source>
        <translation>Unable to create wave file</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>定位文件位置时出错</source>
        <translation>Error seeking file position</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>读取错误</source>
        <translation>Read Error</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+1"/>
        <source>写入错误</source>
        <translation>Write error</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无法创建文件“%1”。</source>
        <translation>Cannot create file &quot;%1&quot;.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无法打开文件“%1”。</source>
        <translation>Cannot open file &quot;%1&quot;.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>已经有一个MP3转换正在进行</source>
        <translation>A conversion to MP3 is already running</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>这是只读属性，请使用 SelectFormat。</source>
        <translation>This is a read-only property, please use SelectFormat.</translation>
    </message>
</context>
<context>
    <name>Reason</name>
    <message>
        <location filename="../platform/language/language.cpp" line="+43"/>
        <source>不允许的操作</source>
        <translation>Operation not permitted</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>没有那个文件或目录</source>
        <translation>No such file or directory</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>输入/输出错误</source>
        <translation>Input/output error</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>没有那个设备或地址</source>
        <translation>No such device or address</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>权限不够</source>
        <translation>Permission denied</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>设备或资源忙</source>
        <translation>Device or resource busy</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>文件已存在</source>
        <translation>File exists</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无效的跨设备链接</source>
        <translation>Invalid cross-device link</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>没有那个设备</source>
        <translation>No such device</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>不是目录</source>
        <translation>Not a directory</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>是一个目录</source>
        <translation>Is a directory</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>无效的参数</source>
        <translation>Invalid argument</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>打开的文件过多</source>
        <translation>Too many open files</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>文本文件忙</source>
        <translation>Text file busy</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>文件过大</source>
        <translation>File too large</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>设备上没有空间</source>
        <translation>No space left on device</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>只读文件系统</source>
        <translation>Read-only file system</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>文件名过长</source>
        <translation>File name too long</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>符号连接的层数过多</source>
        <translation>Too many levels of symbolic links</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>超出磁盘限额</source>
        <translation>Disk quota exceeded</translation>
    </message>
    <message>
        <location line="+86"/>
        <source>系统错误 %1</source>
        <translation>system error %1</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>无法创建文件 %1：%2</source>
        <translation>cannot create %1: %2</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>无法打开文件 %1：%2</source>
        <translation>cannot open %1: %2</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>无法写入文件 %1：%2</source>
        <translation>cannot write %1: %2</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>%1 不是WAV文件</source>
        <translation>%1 is not a WAV file</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>无法解码 %1 的声音格式</source>
        <translation>the sound format of %1 cannot be decoded</translation>
    </message>
</context>
<context>
    <name>TAboutBox</name>
    <message>
        <location filename="../app/about.cpp" line="+32"/>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>名称:Tunelark</source>
        <translation>Name: Tunelark</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>版本:V1.6</source>
        <translation>Version: V1.6</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>版权:%1出品 2026年12月</source>
        <translation>Copyright: %1, December 2026</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>公司网站:</source>
        <translation>Website: </translation>
    </message>
    <message>
        <location line="+1"/>
        <source>作者信箱:</source>
        <translation>Email: </translation>
    </message>
    <message>
        <location line="+1"/>
        <source>地址:羽沼市书苑路16号</source>
        <translation>Address: 16 Shuyuan Road, Yuzhao</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <location filename="../app/main.cpp" line="+86"/>
        <source>分</source>
        <translation>min</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <location line="+37"/>
        <source>左电平</source>
        <translation>Left level</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>右电平</source>
        <translation>Right level</translation>
    </message>
    <message>
        <location line="+75"/>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+64"/>
        <location line="+61"/>
        <location line="+77"/>
        <source>新建WAV</source>
        <translation>New WAV</translation>
    </message>
    <message>
        <location line="-201"/>
        <location line="+64"/>
        <location line="+61"/>
        <source>打开WAV</source>
        <translation>Open WAV</translation>
    </message>
    <message>
        <location line="-124"/>
        <location line="+64"/>
        <location line="+65"/>
        <source>另存为MP3...</source>
        <translation>Save as MP3...</translation>
    </message>
    <message>
        <location line="-127"/>
        <source>删除此WAV</source>
        <translation>Delete this WAV</translation>
    </message>
    <message>
        <location line="+3"/>
        <location line="+187"/>
        <source>打开MIDI</source>
        <translation>Open MIDI</translation>
    </message>
    <message>
        <location line="-187"/>
        <location line="+61"/>
        <location line="+27"/>
        <source>浏览文件...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <location line="-85"/>
        <source>设置选项</source>
        <translation>Settings</translation>
    </message>
    <message>
        <location line="+0"/>
        <location line="+68"/>
        <source>设置Tunelark</source>
        <translation>Tunelark settings</translation>
    </message>
    <message>
        <location line="-66"/>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>MIDI控制(&amp;M)</source>
        <translation>&amp;MIDI</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <location line="+0"/>
        <location line="+55"/>
        <location line="+28"/>
        <source>播放MIDI</source>
        <translation>Play MIDI</translation>
    </message>
    <message>
        <location line="-82"/>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <location line="+0"/>
        <location line="+55"/>
        <location line="+28"/>
        <source>暂停播放</source>
        <translation>Pause playing</translation>
    </message>
    <message>
        <location line="-82"/>
        <location line="+17"/>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <location line="-17"/>
        <location line="+55"/>
        <location line="+28"/>
        <source>停止播放</source>
        <translation>Stop playing</translation>
    </message>
    <message>
        <location line="-80"/>
        <source>升调</source>
        <translation>Key Up</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>伴奏升高一个半音</source>
        <translation>Accompaniment a semitone higher</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>降调</source>
        <translation>Key Down</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>伴奏降低一个半音</source>
        <translation>Accompaniment a semitone lower</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>加快</source>
        <translation>Faster</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>伴奏加快%1%</source>
        <translation>Accompaniment %1% faster</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>减慢</source>
        <translation>Slower</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>伴奏减慢%1%</source>
        <translation>Accompaniment %1% slower</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>原调原速</source>
        <translation>Original Key and Tempo</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>伴奏恢复原来的调和速度</source>
        <translation>Accompaniment back to its written key and tempo</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>显示歌词</source>
        <translation>Show Lyrics</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>显示歌词窗口</source>
        <translation>Show the lyrics window</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>录音控制(&amp;R)</source>
        <translation>&amp;Recording</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+42"/>
        <location line="+53"/>
        <source>开始录音</source>
        <translation>Start recording</translation>
    </message>
    <message>
        <location line="-94"/>
        <source>播放声音</source>
        <translation>Play sound</translation>
    </message>
    <message>
        <location line="+0"/>
        <location line="+42"/>
        <location line="+53"/>
        <source>播放WAV</source>
        <translation>Play WAV</translation>
    </message>
    <message>
        <location line="-94"/>
        <location line="+42"/>
        <location line="+53"/>
        <source>停止并保存</source>
        <translation>Stop and save</translation>
    </message>
    <message>
        <location line="-93"/>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+43"/>
        <source>帮助内容</source>
        <translation>Help contents</translation>
    </message>
    <message>
        <location line="-42"/>
        <location line="+43"/>
        <source>公司网站</source>
        <translation>Company website</translation>
    </message>
    <message>
        <location line="-42"/>
        <location line="+43"/>
        <source>作者信箱</source>
        <translation>Author&apos;s email</translation>
    </message>
    <message>
        <location line="-41"/>
        <source>关于...</source>
        <translation>About...</translation>
    </message>
    <message>
        <location line="+42"/>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>MIDI 伴奏</source>
        <translation>MIDI accompaniment</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>MIDI文件:</source>
        <translation>MIDI file:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>请打开一个MIDI文件</source>
        <translation>Please open a MIDI file</translation>
    </message>
    <message>
        <location line="+3"/>
        <location line="+45"/>
        <source>播放时间:</source>
        <translation>Played:</translation>
    </message>
    <message>
        <location line="-40"/>
        <source>播放进度:</source>
        <translation>Progress:</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>WAV 录制</source>
        <translation>WAV recording</translation>
    </message>
    <message>
        <location line="+18"/>
        <source>删除此文件</source>
        <translation>Delete this file</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>WAV文件:</source>
        <translation>WAV file:</translation>
    </message>
    <message>
        <location line="+1"/>
        <location filename="../app/main_wav.cpp" line="+233"/>
        <source>请先新建一个WAV文件</source>
        <translation>Make a new WAV file first</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>录制时间:</source>
        <translation>Recorded:</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>文件大小:</source>
        <translation>File size:</translation>
    </message>
    <message>
        <location line="+1"/>
        <location filename="../app/main_wav.cpp" line="-133"/>
        <location line="+141"/>
        <location line="+15"/>
        <source>未知</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>音量控制</source>
        <translation>Volume control</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>高级音量控制</source>
        <translation>Advanced volume control</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>注意：如果录不到伴奏，请确保所有录音设备都不静音（如果还有疑问请点这里）</source>
        <translation>No accompaniment in the take? Unmute the recording lines (click here)</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>状态栏</source>
        <translation>Status bar</translation>
    </message>
    <message>
        <location line="+3"/>
        <location filename="../app/main_midi.cpp" line="+114"/>
        <location filename="../app/main_wav.cpp" line="-50"/>
        <source>就绪</source>
        <translation>Ready</translation>
    </message>
    <message>
        <location line="+37"/>
        <source>另存为MP3</source>
        <translation>Save as MP3</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>WAV另存为</source>
        <translation>Save WAV as</translation>
    </message>
    <message>
        <location filename="../app/main_midi.cpp" line="-49"/>
        <source>文件：%1</source>
        <translation>File: %1</translation>
    </message>
    <message>
        <location line="+23"/>
        <source>正在播放MIDI...</source>
        <translation>Playing MIDI...</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>暂停播放MIDI</source>
        <translation>MIDI paused</translation>
    </message>
    <message>
        <location filename="../app/main_wav.cpp" line="-160"/>
        <source>文件夹“%1”不存在。
请选择一个已有的文件夹。</source>
        <translation>The folder &quot;%1&quot; does not exist.
Please choose an existing folder.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>无法在文件夹“%1”中写入录音。
请选择其他文件夹。</source>
        <translation>A take cannot be written into the folder &quot;%1&quot;.
Please choose another folder.</translation>
    </message>
    <message>
        <location line="+38"/>
        <source>“%1”已经存在，但不是WAV文件。
请换一个文件名。</source>
        <translation>&quot;%1&quot; already exists but is not a WAV file.
Please choose another name.</translation>
    </message>
    <message>
        <location line="+42"/>
        <source>“%1”中已经有录音。
要用新的录音替换它吗？</source>
        <translation>&quot;%1&quot; already holds a recording.
Replace it with the new recording?</translation>
    </message>
    <message>
        <location line="+39"/>
        <source>正在录音，静...</source>
        <translation>Recording, quiet please...</translation>
    </message>
    <message>
        <location line="+54"/>
        <source>正在播放WAV...</source>
        <translation>Playing WAV...</translation>
    </message>
    <message>
        <location line="+52"/>
        <source>录音文件无法写入（磁盘空间不足？），没有录下声音：
%1</source>
        <translation>The take could not be written (is the disk full?); nothing was recorded:
%1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>录音文件无法继续写入（磁盘空间不足？），录音已停止。
已录下的部分保存在：
%1</source>
        <translation>The take could not be written any further (is the disk full?); recording stopped.
What was recorded is kept in:
%1</translation>
    </message>
    <message>
        <location filename="../app/main_keytempo.cpp" line="+23"/>
        <source>调 %1 · 速度 %2%</source>
        <translation>Key %1 · Tempo %2%</translation>
    </message>
    <message>
        <location filename="../app/main_score.cpp" line="+25"/>
        <source>得分 %1</source>
        <translation>Score %1</translation>
    </message>
    <message>
        <location line="+93"/>
        <source>无法保存评分：
%1</source>
        <translation>Cannot save the score:
%1</translation>
    </message>
</context>
<context>
    <name>TForm2</name>
    <message>
        <location filename="../app/config.cpp" line="+39"/>
        <source>Tunelark 设置</source>
        <translation>Tunelark settings</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>WAV 录制</source>
        <translation>WAV</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>新建WAV质量:</source>
        <translation>Quality:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>高</source>
        <translation>High</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>中</source>
        <translation>Med</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>低</source>
        <translation>Low</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>录音设备:</source>
        <translation>Rec. device:</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+20"/>
        <source>选择设备...</source>
        <translation>Devices...</translation>
    </message>
    <message>
        <location line="-18"/>
        <source>当MIDI结束时停止</source>
        <translation>Stop when the MIDI ends</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>不必有MIDI即可录音</source>
        <translation>Record without a MIDI file</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>选择录音设备</source>
        <translation>Choose the recording device</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>MIDI播放</source>
        <translation>MIDI</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>播放设备:</source>
        <translation>Playback:</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>MIDI播放设备</source>
        <translation>MIDI playback device</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>歌词编码:</source>
        <translation>Lyrics encoding:</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>自动检测</source>
        <translation>Detect</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>音量控制</source>
        <translation>Volume</translation>
    </message>
    <message>
        <location line="+25"/>
        <source>静音麦克风的声音输出</source>
        <translation>Mute the microphone&apos;s monitor</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>音量:</source>
        <translation>Volume:</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>系统总音量:</source>
        <translation>Master:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>界面语言:</source>
        <translation>Language:</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>跟随系统</source>
        <translation>As the system&apos;s</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>中文</source>
        <translation>Chinese</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>英语</source>
        <translation>English</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>重新启动 Tunelark 后使用新的语言。</source>
        <translation>The new language is used when Tunelark starts again.</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>评分</source>
        <translation>Score</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>保留干声</source>
        <translation>Keep the dry voice</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>难度:</source>
        <translation>Difficulty:</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>容易</source>
        <translation>Easy</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>普通</source>
        <translation>Normal</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>困难</source>
        <translation>Hard</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>旋律声道:</source>
        <translation>Melody ch.:</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>自动</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <location line="+24"/>
        <source>效果</source>
        <translation>Effects</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>回声</source>
        <translation>Echo</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>反馈</source>
        <translation>Feedback</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>混响</source>
        <translation>Reverb</translation>
    </message>
    <message>
        <location line="+1"/>
        <source> 毫秒</source>
        <translation> ms</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>关</source>
        <translation>Off</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>房间</source>
        <translation>Room</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>大厅</source>
        <translation>Hall</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>板式</source>
        <translation>Plate</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>回声音量</source>
        <translation>Level</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>混响音量</source>
        <translation>Level</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>录入效果</source>
        <translation>Record the effects</translation>
    </message>
</context>
<context>
    <name>TForm3</name>
    <message>
        <location filename="../app/savemp3.cpp" line="+30"/>
        <source>正在转MP3，请稍等...</source>
        <translation>Converting to MP3, please wait...</translation>
    </message>
</context>
<context>
    <name>TForm4</name>
    <message>
        <location filename="../app/vol.cpp" line="+14"/>
        <source>高级音量控制</source>
        <translation>Advanced volume control</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>注意:先选择放音或录音再选择要控制的设备</source>
        <translation>Note: choose the mix first, then the line</translation>
    </message>
</context>
<context>
    <name>TLyricsWindow</name>
    <message>
        <location filename="../app/lyricswindow.cpp" line="+47"/>
        <source>歌词</source>
        <translation>Lyrics</translation>
    </message>
    <message>
        <location line="+210"/>
        <source>（没有歌词）</source>
        <translation>(no lyrics)</translation>
    </message>
</context>
<context>
    <name>TNoteLane</name>
    <message>
        <location filename="../app/notelane.cpp" line="+62"/>
        <location line="+113"/>
        <source>得分 %1</source>
        <translation>Score %1</translation>
    </message>
</context>
<context>
    <name>TVolumePanel</name>
    <message>
        <location filename="../app/volpanel.cpp" line="+60"/>
        <source>扬声器</source>
        <translation>Speakers</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>录音</source>
        <translation>Recording</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>麦克风</source>
        <translation>Microphone</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>软件合成器</source>
        <translation>SW Synth</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>波形输出</source>
        <translation>Wave Out</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>左右声道相同</source>
        <translation>Link L/R</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>静音</source>
        <translation>Mute</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>静音该设备</source>
        <translation>Mute this line</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>放/录:</source>
        <translation>Mix:</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>设备:</source>
        <translation>Line:</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>选择麦克风控制麦克风音量</source>
        <translation>Choose Microphone to set the microphone&apos;s volume</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>左声道音量</source>
        <translation>Left volume</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>左</source>
        <translation>L</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>右声道音量</source>
        <translation>Right volume</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>右</source>
        <translation>R</translation>
    </message>
</context>
<context>
    <name>sequencer::SoundfontDialog</name>
    <message>
        <location filename="../platform/devicesheet/soundfontdialog.cpp" line="+43"/>
        <source>没有找到可用的音色库（SoundFont）。</source>
        <translation>No usable soundfont was found.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>正在使用: </source>
        <translation>In use: </translation>
    </message>
    <message>
        <location line="+1"/>
        <source>其他音色库...</source>
        <translation>Other soundfont...</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>MIDI 音色库（SoundFont）:</source>
        <translation>MIDI soundfont:</translation>
    </message>
    <message>
        <location line="+30"/>
        <source>选择音色库</source>
        <translation>Choose a soundfont</translation>
    </message>
</context>
<context>
    <name>soundcard::DeviceDialog</name>
    <message>
        <location filename="../platform/devicesheet/devicedialog.cpp" line="+16"/>
        <source>默认设备</source>
        <translation>Default device</translation>
    </message>
    <message>
        <location line="+33"/>
        <source>录音设备:</source>
        <translation>Recording device:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>延迟补偿（毫秒）</source>
        <translation>Latency compensation (ms)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>播放设备:</source>
        <translation>Playback device:</translation>
    </message>
</context>
<context>
    <name>soundcard::LatencyPanel</name>
    <message>
        <location filename="../platform/devicesheet/latencypanel.cpp" line="+32"/>
        <source>自动测量…</source>
        <translation>Measure…</translation>
    </message>
    <message>
        <location line="+34"/>
        <source>另一个测量正在进行，请稍后再试。</source>
        <translation>Another measurement is running; please try again later.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>正在测量，请保持安静……</source>
        <translation>Measuring, please keep quiet…</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>测量没有完成：声卡没有运行。请检查设备后再试一次。</source>
        <translation>The measurement did not finish: the sound card is not running. Check the devices and try again.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>测得往返延迟 %1 毫秒（设备报告 %2 毫秒），已填入建议的补偿值 %3 毫秒。</source>
        <translation>Measured round trip %1 ms (the device reports %2 ms); the proposed correction of %3 ms is filled in.</translation>
    </message>
    <message>
        <location filename="../platform/soundcard/calibration.cpp" line="+157"/>
        <source>没有听到测试音。请把麦克风靠近扬声器，或用回环线连接输出和输入，然后再试一次。</source>
        <translation>No test click was heard. Move the microphone close to the speakers, or join the output to the input with a loop-back cable, then try again.</translation>
    </message>
</context>
</TS>
