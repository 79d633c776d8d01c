<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>TForm1</name>
    <message>
        <source>就绪</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>旧的文字</source>
        <translation type="vanished">Old text</translation>
    </message>
</context>
<context>
    <name>TVolumePanel</name>
    <message>
        <source>扬声器</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
