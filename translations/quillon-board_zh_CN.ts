<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>quillon::board::BoardWindow</name>
    <message>
        <source>Quillon virtual board</source>
        <translation>Quillon 虚拟控制板</translation>
    </message>
    <message>
        <source>Port: %1</source>
        <translation>串口：%1</translation>
    </message>
    <message>
        <source>Outputs (0 to 5 V)</source>
        <translation>输出电压（0-5 V）</translation>
    </message>
    <message>
        <source>Last 30 s (0 to 5 V a strip)</source>
        <translation>最近30秒（每条0-5 V）</translation>
    </message>
    <message>
        <source>Commands received</source>
        <translation>收到的指令</translation>
    </message>
    <message>
        <source>gain</source>
        <comment>beside a channel whose output is doubled</comment>
        <translation>输出x2</translation>
    </message>
    <message>
        <source>Output of channel %1</source>
        <extracomment>%1 the channel&apos;s number, from 0</extracomment>
        <translation>通道%1的输出电压</translation>
    </message>
</context>
<context>
    <name>quillon::board::OutputChart</name>
    <message>
        <source>−%1 s</source>
        <comment>time axis: seconds ago</comment>
        <translation>−%1秒</translation>
    </message>
    <message>
        <source>now</source>
        <comment>time axis: the present</comment>
        <translation>现在</translation>
    </message>
</context>
</TS>
