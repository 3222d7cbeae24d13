<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CChatDialog</name>
    <message>
        <source>点击重新发送</source>
        <extracomment>English: Click to send again</extracomment>
        <translation>Click to send again</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>Strings</name>
    <message>
        <source>关于 Vessaro(&amp;A)...</source>
        <extracomment>English: &amp;About Vessaro...</extracomment>
        <translation>&amp;About Vessaro...</translation>
    </message>
    <message>
        <source>无法打开网络套接字。</source>
        <extracomment>English: Cannot open a network socket.</extracomment>
        <translation>Cannot open a network socket.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>无法读取设置文件，已改用内置设置。原文件保存为：%1</source>
        <extracomment>English: The settings file could not be read; the built-in settings are used. The file is kept as: %1</extracomment>
        <translation>The settings file could not be read; the built-in settings are used. The file is kept as: %1</translation>
    </message>
</context>
<context>
    <name>vessaro::CAboutDialog</name>
    <message>
        <source>关于 Vessaro</source>
        <translation>About Vessaro</translation>
    </message>
    <message>
        <source>Vessaro 图标</source>
        <translation>Vessaro icon</translation>
    </message>
    <message>
        <source>Vessaro %1 版</source>
        <translation>Vessaro %1</translation>
    </message>
    <message>
        <source>与陌生人一对一匿名聊天</source>
        <translation>Anonymous one-to-one chat</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>vessaro::CChatDialog</name>
    <message>
        <source>发送失败！</source>
        <extracomment>English: Sending failed!</extracomment>
        <translation>Sending failed!</translation>
    </message>
    <message>
        <source>打开</source>
        <extracomment>English: Open</extracomment>
        <translation>Open</translation>
    </message>
    <message>
        <source>发送完毕！</source>
        <extracomment>English: Sent!</extracomment>
        <translation>Sent!</translation>
    </message>
    <message>
        <source>另存为</source>
        <extracomment>English: Save As</extracomment>
        <translation>Save As</translation>
    </message>
    <message>
        <source>保存失败，对话内容没有保存！
%1</source>
        <extracomment>English: Saving failed; the conversation was not saved!
%1</extracomment>
        <translation>Saving failed; the conversation was not saved!
%1</translation>
    </message>
    <message>
        <source>对话</source>
        <translation>Chat</translation>
    </message>
    <message>
        <source>接受</source>
        <translation>&amp;Accept</translation>
    </message>
    <message>
        <source>挂断</source>
        <translation>&amp;Hang up</translation>
    </message>
    <message>
        <source>按回车发送，CTRL+回车换行
CTRL+鼠标滚轮调整字体大小</source>
        <translation>Enter sends, Ctrl+Enter new line
Ctrl+wheel: text size</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>输入框</source>
        <translation>Your message</translation>
    </message>
    <message>
        <source>网站标志</source>
        <translation>Site logo</translation>
    </message>
    <message>
        <source>点击查看</source>
        <translation>View</translation>
    </message>
    <message>
        <source>发送图片</source>
        <translation>Picture</translation>
    </message>
    <message>
        <source>对话内容</source>
        <translation>Conversation</translation>
    </message>
    <message>
        <source>对方资料</source>
        <translation>Partner</translation>
    </message>
    <message>
        <source>我的资料</source>
        <translation>Me</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>对方已离开，对话结束。</source>
        <extracomment>English: Your partner has left; the conversation is over.</extracomment>
        <translation>Your partner has left; the conversation is over.</translation>
    </message>
</context>
<context>
    <name>vessaro::CConditionDialog</name>
    <message>
        <source>请输入 %1 到 %2 之间的整数。</source>
        <extracomment>English: Please enter a whole number from %1 to %2.</extracomment>
        <translation>Please enter a whole number from %1 to %2.</translation>
    </message>
    <message>
        <source>这一项最多可填 %1 个字节（一个汉字算两个字节），请删短一些。</source>
        <extracomment>English: This field holds at most %1 bytes (a Chinese character counts as two); please shorten it.</extracomment>
        <translation>This field holds at most %1 bytes (a Chinese character counts as two). Please shorten it.</translation>
    </message>
    <message>
        <source>条件设置</source>
        <translation>Conditions</translation>
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
        <source>男</source>
        <translation>M</translation>
    </message>
    <message>
        <source>女</source>
        <translation>F</translation>
    </message>
    <message>
        <source>不限</source>
        <translation>Any</translation>
    </message>
    <message>
        <source>都可以</source>
        <translation>Any</translation>
    </message>
    <message>
        <source>自己</source>
        <translation>Me</translation>
    </message>
    <message>
        <source>对方</source>
        <translation>Partner</translation>
    </message>
    <message>
        <source>话题选择</source>
        <translation>&amp;Topic</translation>
    </message>
    <message>
        <source>昵称</source>
        <translation>&amp;Name</translation>
    </message>
    <message>
        <source>性别</source>
        <translation>Sex</translation>
    </message>
    <message>
        <source>社区ID</source>
        <translation>BBS &amp;ID</translation>
    </message>
    <message>
        <source>年龄</source>
        <translation>Age</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Place</translation>
    </message>
    <message>
        <source>市</source>
        <translation>city</translation>
    </message>
    <message>
        <source>区</source>
        <translation>dist.</translation>
    </message>
    <message>
        <source>行业</source>
        <translation>&amp;Work</translation>
    </message>
    <message>
        <source>简介</source>
        <translation>A&amp;bout</translation>
    </message>
    <message>
        <source>到</source>
        <translation>to</translation>
    </message>
    <message>
        <source>[不填表示不限]</source>
        <translation>[empty: any]</translation>
    </message>
</context>
<context>
    <name>vessaro::CHtmlCtrl</name>
    <message>
        <source>页面无法打开</source>
        <extracomment>English: Page not available</extracomment>
        <translation>Page not available</translation>
    </message>
    <message>
        <source>页面暂时无法打开</source>
        <extracomment>English: The page cannot be opened right now</extracomment>
        <translation>The page cannot be opened right now</translation>
    </message>
    <message>
        <source>请稍后再试。聊天功能不受影响。</source>
        <extracomment>English: Please try again later. Chatting is not affected.</extracomment>
        <translation>Please try again later. Chatting is not affected.</translation>
    </message>
</context>
<context>
    <name>vessaro::CMatchDialog</name>
    <message>
        <source>显示主窗口</source>
        <extracomment>English: Show main window</extracomment>
        <translation>Show main window</translation>
    </message>
    <message>
        <source>退出</source>
        <extracomment>English: Quit</extracomment>
        <translation>Quit</translation>
    </message>
    <message>
        <source>正在连接服务器...</source>
        <extracomment>English: Connecting to the server...</extracomment>
        <translation>Connecting to the server...</translation>
    </message>
    <message>
        <source>连接服务器成功！</source>
        <extracomment>English: Connected to the server!</extracomment>
        <translation>Connected to the server!</translation>
    </message>
    <message>
        <source>连接服务器失败。</source>
        <extracomment>English: Could not connect to the server.</extracomment>
        <translation>Could not connect to the server.</translation>
    </message>
    <message>
        <source>从服务器断开。</source>
        <extracomment>English: Disconnected from the server.</extracomment>
        <translation>Disconnected from the server.</translation>
    </message>
    <message>
        <source>请求失败！</source>
        <extracomment>English: Request failed!</extracomment>
        <translation>Request failed!</translation>
    </message>
    <message>
        <source>等待</source>
        <extracomment>English: Waiting</extracomment>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>空闲</source>
        <extracomment>English: Idle</extracomment>
        <translation>Idle</translation>
    </message>
    <message>
        <source><byte value="xd"/>
%1 秒后重新连接服务器…</source>
        <extracomment>English: <byte value="xd"/>
Reconnecting in %1 s…</extracomment>
        <translation><byte value="xd"/>
Reconnecting in %1 s…</translation>
    </message>
    <message>
        <source>：正在重新连接服务器…</source>
        <extracomment>English: : reconnecting to the server…</extracomment>
        <translation>: reconnecting to the server…</translation>
    </message>
    <message>
        <source>正在重新连接服务器…</source>
        <extracomment>English: Reconnecting to the server…</extracomment>
        <translation>Reconnecting to the server…</translation>
    </message>
    <message>
        <source>对话</source>
        <extracomment>English: Chatting</extracomment>
        <translation>Chatting</translation>
    </message>
    <message>
        <source>正在退出，请稍候...</source>
        <extracomment>English: Quitting, please wait...</extracomment>
        <translation>Quitting, please wait...</translation>
    </message>
    <message>
        <source>Vessaro客户端</source>
        <translation>Vessaro</translation>
    </message>
    <message>
        <source>信息页面</source>
        <translation>News page</translation>
    </message>
    <message>
        <source>信息</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>&amp;Start</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>设置…</source>
        <extracomment>English: Settings…</extracomment>
        <translation>Settings…</translation>
    </message>
    <message>
        <source>找到对话伙伴</source>
        <extracomment>English: A partner was found</extracomment>
        <translation>A partner was found</translation>
    </message>
    <message>
        <source>找不到服务器 %1。</source>
        <extracomment>English: The server %1 was not found.</extracomment>
        <translation>The server %1 was not found.</translation>
    </message>
</context>
<context>
    <name>vessaro::ConversationModel</name>
    <message>
        <source>请选择‘接受’开始对话，拒绝对话请按“挂断”</source>
        <extracomment>English: Press &apos;Accept&apos; to start talking, or &apos;Hang up&apos; to refuse.</extracomment>
        <translation>Press “Accept” to start talking, or “Hang up” to refuse.</translation>
    </message>
    <message>
        <source>连接已建立，可以开始对话！</source>
        <extracomment>English: Connected. You can start talking!</extracomment>
        <translation>Connected. You can start talking!</translation>
    </message>
    <message>
        <source>对话已结束！点击关闭按钮退出。<byte value="xd"/>
注意：关闭窗口后，对话内容将会自动删除！！！</source>
        <extracomment>English: The conversation has ended! Press Close to leave.<byte value="xd"/>
Note: ...</extracomment>
        <translation>The conversation has ended! Press Close to leave.<byte value="xd"/>
Note: the conversation is deleted when the window closes!</translation>
    </message>
    <message>
        <source>服务器连接中断，对话结束。</source>
        <extracomment>English: The connection to the server was lost; the conversation is over.</extracomment>
        <translation>The connection to the server was lost; the conversation is over.</translation>
    </message>
</context>
<context>
    <name>vessaro::ProfilePane</name>
    <message>
        <source>昵称：</source>
        <extracomment>English: Nickname:</extracomment>
        <translation>Nickname: </translation>
    </message>
    <message>
        <source>性别：</source>
        <extracomment>English: Sex:</extracomment>
        <translation>Sex: </translation>
    </message>
    <message>
        <source>男</source>
        <extracomment>English: male</extracomment>
        <translation>male</translation>
    </message>
    <message>
        <source>女</source>
        <extracomment>English: female</extracomment>
        <translation>female</translation>
    </message>
    <message>
        <source>年龄：</source>
        <extracomment>English: Age:</extracomment>
        <translation>Age: </translation>
    </message>
    <message>
        <source>职业：</source>
        <extracomment>English: Trade:</extracomment>
        <translation>Trade: </translation>
    </message>
    <message>
        <source>位置：</source>
        <extracomment>English: Location:</extracomment>
        <translation>Location: </translation>
    </message>
    <message>
        <source>%1市%2区</source>
        <extracomment>English: %1, %2</extracomment>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>简介：</source>
        <extracomment>English: About me:</extracomment>
        <translation>About me: </translation>
    </message>
</context>
<context>
    <name>vessaro::RequirementSummary</name>
    <message>
        <source>不限</source>
        <extracomment>English: any</extracomment>
        <translation>any</translation>
    </message>
    <message>
        <source>男</source>
        <extracomment>English: male</extracomment>
        <translation>male</translation>
    </message>
    <message>
        <source>女</source>
        <extracomment>English: female</extracomment>
        <translation>female</translation>
    </message>
    <message>
        <source>位置：不限</source>
        <extracomment>English: Location: any</extracomment>
        <translation>Place: any</translation>
    </message>
    <message>
        <source>位置：%1市 %2区</source>
        <extracomment>English: Location: %1 city, %2 district</extracomment>
        <translation>Place: %1 city, %2 district</translation>
    </message>
    <message>
        <source>位置：%1市</source>
        <extracomment>English: Location: %1 city</extracomment>
        <translation>Place: %1 city</translation>
    </message>
    <message>
        <source>聊天要求：</source>
        <extracomment>English: Looking for:</extracomment>
        <translation>Looking for:</translation>
    </message>
    <message>
        <source>话题：%1</source>
        <extracomment>English: Topic: %1</extracomment>
        <translation>Topic: %1</translation>
    </message>
    <message>
        <source>性别：%1</source>
        <extracomment>English: Sex: %1</extracomment>
        <translation>Sex: %1</translation>
    </message>
    <message>
        <source>年龄：%1 - %2岁</source>
        <extracomment>English: Age: %1 - %2</extracomment>
        <translation>Age: %1 - %2</translation>
    </message>
</context>
<context>
    <name>vessaro::SettingsDialog</name>
    <message>
        <source>设置</source>
        <extracomment>English: Settings</extracomment>
        <translation>Settings</translation>
    </message>
    <message>
        <source>留空则跟随服务器</source>
        <extracomment>English: empty: follow the server</extracomment>
        <translation>empty: follow the server</translation>
    </message>
    <message>
        <source>跟随系统</source>
        <extracomment>English: Follow the system</extracomment>
        <translation>Follow the system</translation>
    </message>
    <message>
        <source>显示桌面通知</source>
        <extracomment>English: Show desktop notifications</extracomment>
        <translation>Show desktop notifications</translation>
    </message>
    <message>
        <source>跟随桌面</source>
        <extracomment>English: Follow the desktop</extracomment>
        <translation>Follow the desktop</translation>
    </message>
    <message>
        <source>浅色</source>
        <extracomment>English: Light</extracomment>
        <translation>Light</translation>
    </message>
    <message>
        <source>深色</source>
        <extracomment>English: Dark</extracomment>
        <translation>Dark</translation>
    </message>
    <message>
        <source>清除记住的资料和要求</source>
        <extracomment>English: Forget my profile and wishes</extracomment>
        <translation>Forget my profile and wishes</translation>
    </message>
    <message>
        <source>服务器（主机[:端口]）：</source>
        <extracomment>English: Server (host[:port]):</extracomment>
        <translation>Server (host[:port]):</translation>
    </message>
    <message>
        <source>网页地址：</source>
        <extracomment>English: Web pages address:</extracomment>
        <translation>Web pages address:</translation>
    </message>
    <message>
        <source>语言：</source>
        <extracomment>English: Language:</extracomment>
        <translation>Language:</translation>
    </message>
    <message>
        <source>更改语言后，下次启动时生效。</source>
        <extracomment>English: A new language takes effect at the next start.</extracomment>
        <translation>A new language takes effect at the next start.</translation>
    </message>
    <message>
        <source>皮肤：</source>
        <extracomment>English: Skin:</extracomment>
        <translation>Skin:</translation>
    </message>
    <message>
        <source>请填写服务器地址。</source>
        <extracomment>English: Please enter the server&apos;s address.</extracomment>
        <translation>Please enter the server&apos;s address.</translation>
    </message>
    <message>
        <source>端口必须是 1 到 65535 之间的整数。</source>
        <extracomment>English: The port must be a whole number from 1 to 65535.</extracomment>
        <translation>The port must be a whole number from 1 to 65535.</translation>
    </message>
    <message>
        <source>服务器应为主机名、IPv4 地址或 IPv6 地址，可在后面加 :端口（IPv6 带端口时写成 [::1]:13366）。</source>
        <extracomment>English: The server must be a host name, an IPv4 address or an IPv6 address (write [::1]:13366 with a port), optionally followed by :port.</extracomment>
        <translation>The server must be a host name, an IPv4 address or an IPv6 address (write [::1]:13366 with a port), optionally followed by :port.</translation>
    </message>
    <message>
        <source>网页地址应以 http:// 或 https:// 开头并带有主机名，或留空以跟随服务器。</source>
        <extracomment>English: The web address must start with http:// or https:// and name a host, or be left empty to follow the server.</extracomment>
        <translation>The web address must start with http:// or https:// and name a host, or be left empty to follow the server.</translation>
    </message>
    <message>
        <source>已清除记住的资料和要求</source>
        <extracomment>English: Profile and wishes forgotten</extracomment>
        <translation>Profile and wishes forgotten</translation>
    </message>
    <message>
        <source>更改服务器后立即生效；正在对话时，在对话结束后生效。</source>
        <extracomment>English: A new server is used at once, or once the current conversation ends.</extracomment>
        <translation>A new server is used at once, or once the current conversation ends.</translation>
    </message>
</context>
<context>
    <name>vessaro::Transcript</name>
    <message>
        <source>系统消息</source>
        <extracomment>English: System</extracomment>
        <translation>System</translation>
    </message>
</context>
<context>
    <name>vessaro::TranscriptPage</name>
    <message>
        <source>（发送中）</source>
        <extracomment>English: (sending)</extracomment>
        <translation>(sending)</translation>
    </message>
    <message>
        <source>（未送达）</source>
        <extracomment>English: (not delivered)</extracomment>
        <translation>(not delivered)</translation>
    </message>
</context>
</TS>
