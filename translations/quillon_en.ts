<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>quillon::Form1</name>
    <message>
        <source>单通道控制</source>
        <translation>Single channel</translation>
    </message>
    <message>
        <source>通道号：</source>
        <translation>Ch.:</translation>
    </message>
    <message>
        <source>设定值：</source>
        <translation>Value:</translation>
    </message>
    <message>
        <source>增益：</source>
        <translation>Gain:</translation>
    </message>
    <message>
        <source>输出x2</source>
        <translation>Out x2</translation>
    </message>
    <message>
        <source>发   送</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>4通道控制</source>
        <translation>4 channels</translation>
    </message>
    <message>
        <source>8通道控制</source>
        <translation>8 channels</translation>
    </message>
    <message>
        <source>控制板软件复位</source>
        <translation>Board software reset</translation>
    </message>
    <message>
        <source>发送码：</source>
        <translation>Sent:</translation>
    </message>
    <message>
        <source>返回码：</source>
        <translation>Reply:</translation>
    </message>
    <message>
        <source>复   位</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>设定值必须为4位数，单位为V</source>
        <translation>value: 4 digits, in V</translation>
    </message>
    <message>
        <source>设定值</source>
        <translation>the value box</translation>
    </message>
    <message>
        <source>设定值必须为3位数，单位为V</source>
        <translation>value: 3 digits, in V</translation>
    </message>
    <message>
        <source>第%1列的设定值</source>
        <translation>the value box of column %1</translation>
    </message>
    <message>
        <source>设定值为小于256的整数，输出电压=设定值/256*5</source>
        <translation>value: integer &lt; 256, out = value/256*5 V</translation>
    </message>
    <message>
        <source>通道%1的设定值</source>
        <translation>the value box of channel %1</translation>
    </message>
    <message>
        <source>%1(%2)</source>
        <comment>group caption: the group&apos;s name, then what its values must be</comment>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>第%1列</source>
        <translation>column %1</translation>
    </message>
    <message>
        <source>通道%1</source>
        <translation>channel %1</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <comment>accessible name: the group, then what the control is</comment>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>%1 %2 %3</source>
        <comment>accessible name: the group, the column or channel, what the control is</comment>
        <translation>%1, %2, %3</translation>
    </message>
    <message>
        <source>宋体</source>
        <comment>caption typeface</comment>
        <extracomment>The typeface of the window&apos;s captions: one that draws this language&apos;s letters clearly and is installed with the program (Debian&apos;s fonts-dejavu-core has &quot;DejaVu Sans&quot;).</extracomment>
        <translation>DejaVu Sans</translation>
    </message>
    <message>
        <source>通道号</source>
        <comment>a channel box as a screen reader names it, in full words</comment>
        <translation>channel number</translation>
    </message>
</context>
<context>
    <name>quillon::OperatorWording</name>
    <message>
        <source>本控制板带有8路8位D/A转换专用芯片和精密电压基准，控制输出电压精度误差不大于0.01V。通过电脑串口（或其他具有串口的单片机、PLC、DSP）发个简单的指令，便可以方便地控制8个数模转换通道输出设定的电压值。输出电压范围：0-5V（指令控制）。波特率9600，也可按用户要求定制。广泛用于通过电压控制的各个工控领域，如电机调速、压控振荡、伺服控制等。工作方式有3种:1、 单通道控制模式：通过串口发送一条指令，一次控制一个数模转换通道输出设定的电压值。2、 4通道控制模式：串口发送一条指令，一次可以控制四个数模转换通道分别输出各自设定的电压值。同于同步设定4路输出电压。3、 8通道控制模式：串口发送一条指令，一次可以控制八个数模转换通道分别输出各自设定的电压值。同于同步设定8路输出电压。  所有模数转换输出通道均带有射极跟随缓冲。其中有2路带有可调运算放大器，输出电压可以按要求进行放大（比如放大倍数调为2倍的话，则输出电压可以在1-10V之间进行变化）。</source>
        <translation>This board carries a dedicated 8-channel 8-bit D/A converter chip and a precision voltage reference; the output voltage is accurate to within 0.01 V. One simple command sent from a computer&apos;s serial port (or from a microcontroller, PLC or DSP with a serial port) is all it takes to have the 8 D/A channels output the voltages set. Output voltage range: 0-5 V (set by command). Baud rate 9600; other rates can be made to order. Used widely wherever industrial control works through a voltage, such as motor speed control, voltage-controlled oscillators and servo control. There are 3 working modes: 1. Single-channel mode: one command sent over the serial line sets the output voltage of one D/A channel. 2. Four-channel mode: one command sent over the serial line sets four D/A channels, each to its own voltage, so that 4 outputs are set at the same time. 3. Eight-channel mode: one command sent over the serial line sets eight D/A channels, each to its own voltage, so that 8 outputs are set at the same time. All the converter outputs are buffered by emitter followers. Two of them have an adjustable operational amplifier, so that their output voltage can be amplified as required (with the gain set to 2, for example, the output voltage can range from 1 to 10 V).</translation>
    </message>
    <message>
        <source>本面板的串口设置为9600波特、8位数据位、无校验、1位停止位（9600,N,8,1）。单通道、4通道和8通道三种指令分别由各组的“发送”按钮发出，“复位”按钮发送软件复位指令“U”。面板上的“输出x2”复选框为保留功能，暂不可用，其增益标志始终为0。</source>
        <translation>This panel sets the serial port to 9600 baud, 8 data bits, no parity and 1 stop bit (9600,N,8,1). The single-channel, 4-channel and 8-channel commands are sent by the Send button of each group; the Reset button sends the software reset command “U”. The “Out x2” check boxes are reserved and cannot be used yet: their gain flag is always 0.</translation>
    </message>
    <message>
        <source>“%1”</source>
        <comment>a text quoted in a warning</comment>
        <translation>“%1”</translation>
    </message>
    <message>
        <source>“…%1”（共%2个字符）</source>
        <extracomment>%1 the end of a long path, %2 how many characters the whole path has</extracomment>
        <translation>“…%1” (%2 characters)</translation>
    </message>
    <message>
        <source>“%1…”（共%2个字符）</source>
        <extracomment>%1 the start of a long text, %2 how many characters the whole text has</extracomment>
        <translation>“%1…” (%2 characters)</translation>
    </message>
    <message>
        <source>（未指定设备）</source>
        <translation>(no device given)</translation>
    </message>
    <message>
        <source>系统未报告任何串口。</source>
        <translation>The system reports no serial ports.</translation>
    </message>
    <message>
        <source>系统报告的串口：%1</source>
        <translation>Serial ports the system reports: %1</translation>
    </message>
    <message>
        <source>、</source>
        <comment>list separator</comment>
        <translation>, </translation>
    </message>
    <message>
        <source>不是数字</source>
        <translation>is not a number</translation>
    </message>
    <message>
        <source>超出范围</source>
        <translation>is out of range</translation>
    </message>
    <message>
        <source>%1%2</source>
        <comment>help text</comment>
        <extracomment>The board&apos;s description, then the notes on this panel, joined as sentences are.</extracomment>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <comment>port failure: device, reason</comment>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1：%2（%3）</source>
        <comment>port failure: device, reason, system&apos;s words</comment>
        <translation>%1: %2 (%3)</translation>
    </message>
    <message>
        <source>未能打开串口。面板照常可用，但命令要等串口打开后才能发出。</source>
        <translation>No serial port could be opened. The panel works as usual, but commands go out only once a port is open.</translation>
    </message>
    <message>
        <source>已尝试的设备：</source>
        <translation>Devices tried:</translation>
    </message>
    <message>
        <source>选择设备：在“串口”菜单中随时可选，列表里没有的设备用“其他设备…”输入路径。也可以在启动时指定：quillon --port /dev/ttyUSB0，或启动前设置环境变量 QUILLON_PORT1（备用设备为 QUILLON_PORT2），或用 ./run /dev/ttyUSB0 启动。</source>
        <translation>To choose a device: pick it in the Port menu at any time; for a device the list does not show, enter its path under “Other device…”. It can also be given at start-up: quillon --port /dev/ttyUSB0, or set the environment variable QUILLON_PORT1 (QUILLON_PORT2 for a fallback device) before starting, or start with ./run /dev/ttyUSB0.</translation>
    </message>
    <message>
        <source>命令未发出：%1。
连接好控制板后再发送一次即可，面板会重新打开串口。</source>
        <translation>The command was not sent: %1.
Connect the board and send again; the panel reopens the port.</translation>
    </message>
    <message>
        <source>；</source>
        <comment>separator between reasons</comment>
        <translation>; </translation>
    </message>
    <message>
        <source>命令未发出：这条命令超过%1字节，串口一次最多只能排队发送这么多。</source>
        <translation>The command was not sent: it is longer than %1 bytes, the most the port can queue at a time.</translation>
    </message>
    <message>
        <source>命令未发出：串口仍在发送前面的命令（还有%1字节未发出），再排上这条命令会超过%2字节的上限。
请等前面的命令发完后再发送。</source>
        <translation>The command was not sent: the port is still sending earlier commands (%1 bytes still to go), and this one would take the queue past its limit of %2 bytes.
Send again once the earlier commands are out.</translation>
    </message>
    <message>
        <source>串口已断开：%1。
重新连接控制板后，下次发送时面板会重新打开串口。</source>
        <translation>The serial port was lost: %1.
Reconnect the board; the panel reopens the port at the next Send.</translation>
    </message>
    <message>
        <source>未能打开所选的串口：%1。
%2</source>
        <translation>The chosen port could not be opened: %1.
%2</translation>
    </message>
    <message>
        <source>目前没有打开的串口。</source>
        <translation>No port is open now.</translation>
    </message>
    <message>
        <source>仍在使用原来的串口 %1。</source>
        <translation>Still using the earlier port %1.</translation>
    </message>
    <message>
        <source>命令未发出：正在播放序列，请等序列播放完毕或停止后再发送。</source>
        <translation>Command not sent: a sequence is playing. Send again once it has ended or been stopped.</translation>
    </message>
    <message>
        <source>%1：%2%3%4。
命令未发出。

要求：%5。</source>
        <extracomment>%1 the group, %2 the box, %3 the text in it, %4 why it was refused, %5 what the group&apos;s values must be</extracomment>
        <translation>%1: %3 in %2 %4.
The command was not sent.

Expected %5.</translation>
    </message>
    <message>
        <source>%1：有一个设定值%2。
命令未发出。

要求：%3。</source>
        <extracomment>%1 the group, %2 why one of its values was refused, %3 what its values must be</extracomment>
        <translation>%1: one of the values %2.
The command was not sent.

Expected %3.</translation>
    </message>
    <message>
        <source>未能开始记录：无法打开记录文件 %1（%2）。</source>
        <extracomment>%1 the log file, %2 the system&apos;s reason</extracomment>
        <translation>Logging not started: the log file %1 cannot be opened (%2).</translation>
    </message>
    <message>
        <source>记录已停止：无法再写入记录文件 %1（%2）。
面板照常发送命令。</source>
        <extracomment>%1 the log file, %2 the system&apos;s reason</extracomment>
        <translation>Logging stopped: the log file %1 cannot be written any more (%2).
The panel goes on sending commands.</translation>
    </message>
    <message>
        <source>序列未播放：%1 %2。
没有发出任何命令。</source>
        <extracomment>%1 the sequence file, %2 why it was refused, in English</extracomment>
        <translation>Sequence not played: %1 %2.
No command was sent.</translation>
    </message>
    <message>
        <source>正在播放 %1
已发送 %2/%3 条命令，已用 %4 秒，剩余 %5 秒</source>
        <extracomment>%1 the file, %2 commands sent, %3 commands in all, %4 seconds elapsed, %5 seconds left</extracomment>
        <translation>Playing %1
%2/%3 commands sent, %4 s elapsed, %5 s remaining</translation>
    </message>
    <message>
        <source>序列播放中断：已发出 %1/%2 条命令。
%3</source>
        <extracomment>%1 commands that went out, %2 commands in all, %3 why the play ended</extracomment>
        <translation>The sequence stopped: %1/%2 commands went out.
%3</translation>
    </message>
    <message>
        <source>系统无法计时（%1）</source>
        <translation>the system would not keep time (%1)</translation>
    </message>
    <message>
        <source>停止</source>
        <comment>stops the sequence being played</comment>
        <translation>Stop</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>第%1列的通道号</source>
        <translation>column %1&apos;s channel</translation>
    </message>
    <message>
        <source>通道号</source>
        <translation>channel</translation>
    </message>
    <message>
        <source>第%1列的设定值</source>
        <translation>column %1&apos;s value</translation>
    </message>
    <message>
        <source>设定值</source>
        <translation>value</translation>
    </message>
    <message>
        <source>控制板只有通道%1到%2</source>
        <extracomment>%1 and %2 the board&apos;s first and last channel</extracomment>
        <translation>the board has channels %1 to %2</translation>
    </message>
    <message>
        <source>控制板不接受负电压</source>
        <translation>the board takes no negative voltage</translation>
    </message>
    <message>
        <source>超过这条指令的满量程%1V</source>
        <translation>above this command&apos;s full scale of %1 V</translation>
    </message>
    <message>
        <source>比这条指令的最小步长%1V更细</source>
        <translation>finer than this command&apos;s step of %1 V</translation>
    </message>
    <message>
        <source>%1%2：%3</source>
        <comment>a field the board will not take</comment>
        <extracomment>%1 the box, %2 what it held, %3 why the board will not take it</extracomment>
        <translation>%1 %2: %3</translation>
    </message>
    <message>
        <source>%1：命令已照所填内容发出，但控制板不会接受：
%2</source>
        <extracomment>%1 the group, %2 one line for each field the board will not take</extracomment>
        <translation>%1: the command went out as typed, but the board will not take it:
%2</translation>
    </message>
</context>
<context>
    <name>quillon::PortErrorWords</name>
    <message>
        <source>设备不存在</source>
        <translation>no such device</translation>
    </message>
    <message>
        <source>找不到该主机</source>
        <translation>no such host</translation>
    </message>
    <message>
        <source>没有访问权限，或设备已被其他程序占用</source>
        <translation>permission denied, or another program holds the device</translation>
    </message>
    <message>
        <source>设备已被打开</source>
        <translation>the device is already open</translation>
    </message>
    <message>
        <source>串口未打开</source>
        <translation>the port is not open</translation>
    </message>
    <message>
        <source>写入出错</source>
        <translation>write error</translation>
    </message>
    <message>
        <source>读取出错</source>
        <translation>read error</translation>
    </message>
    <message>
        <source>设备已断开或不可用</source>
        <translation>the device was unplugged or is unavailable</translation>
    </message>
    <message>
        <source>设备或服务器不支持所需的串口设置</source>
        <translation>the device or the server does not take the serial settings needed</translation>
    </message>
    <message>
        <source>服务器拒绝连接</source>
        <translation>the server refused the connection</translation>
    </message>
    <message>
        <source>操作超时</source>
        <translation>timed out</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>unknown error</translation>
    </message>
</context>
<context>
    <name>quillon::PortMenu</name>
    <message>
        <source>其他设备</source>
        <translation>Other device</translation>
    </message>
    <message>
        <source>设备路径（例如 /dev/ttyUSB0 或 /dev/pts/3）：</source>
        <translation>Device path (e.g. /dev/ttyUSB0 or /dev/pts/3):</translation>
    </message>
    <message>
        <source>串口：未打开</source>
        <translation>Port: not open</translation>
    </message>
    <message>
        <source>串口：%1</source>
        <translation>Port: %1</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <comment>port item: name, what is known of it</comment>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>，</source>
        <comment>separator of what is known of a port</comment>
        <translation>, </translation>
    </message>
    <message>
        <source>其他设备…</source>
        <translation>Other device…</translation>
    </message>
    <message>
        <source>%1 · %2</source>
        <extracomment>%1 the port menu&apos;s title, %2 a note such as &quot;SCPI 2&quot; (clients connected)</extracomment>
        <translation>%1 · %2</translation>
    </message>
</context>
<context>
    <name>quillon::RecordMenu</name>
    <message>
        <source>开始记录</source>
        <comment>title of the dialog that asks where to log</comment>
        <translation>Start logging</translation>
    </message>
    <message>
        <source>播放序列</source>
        <comment>title of the dialog that asks what to play</comment>
        <translation>Play a sequence</translation>
    </message>
    <message>
        <source>记录</source>
        <comment>title of the log menu while nothing is logged</comment>
        <translation>Log</translation>
    </message>
    <message>
        <source>记录：%1</source>
        <comment>title of the log menu</comment>
        <extracomment>%1 the name of the log file</extracomment>
        <translation>Log: %1</translation>
    </message>
    <message>
        <source>开始记录…</source>
        <translation>Start logging…</translation>
    </message>
    <message>
        <source>停止记录</source>
        <translation>Stop logging</translation>
    </message>
    <message>
        <source>播放序列…</source>
        <translation>Play sequence…</translation>
    </message>
</context>
<context>
    <name>quillon::ReplyDisplay</name>
    <message>
        <source>十六进制显示</source>
        <translation>Hex display</translation>
    </message>
</context>
<context>
    <name>quillon::ScpiControl</name>
    <message>
        <source>远程控制 (SCPI)</source>
        <translation>Remote control (SCPI)</translation>
    </message>
    <message>
        <source>监听地址（例如 127.0.0.1:5025；SCPI 没有身份验证）：</source>
        <translation>Listen on (e.g. 127.0.0.1:5025; SCPI has no authentication):</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>远程控制无法在 %1 上监听：%2</source>
        <extracomment>%1 the address, %2 the system&apos;s reason</extracomment>
        <translation>Remote control cannot listen on %1: %2</translation>
    </message>
    <message>
        <source>%1 不是监听地址，应为 地址:端口，例如 127.0.0.1:5025。</source>
        <extracomment>%1 what the operator typed</extracomment>
        <translation>%1 is not a listen address; give address:port, e.g. 127.0.0.1:5025.</translation>
    </message>
    <message>
        <source>SCPI %1</source>
        <extracomment>%1 how many SCPI clients are connected</extracomment>
        <translation>SCPI %1</translation>
    </message>
    <message>
        <source>远程控制 (SCPI)…</source>
        <translation>Remote control (SCPI)…</translation>
    </message>
</context>
</TS>
