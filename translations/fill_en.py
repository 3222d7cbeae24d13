#!/usr/bin/env python3
"""Fills translations/vessaro_en.ts with the English texts below, after lupdate has gathered the
source texts. Run from the repository root; texts lupdate found that are not listed here stay
unfinished, and the translation test then names them."""
import re
import sys

CR = '<byte value="xd"/>'

EN = {
    ("MessageBox", "确定"): "OK",
    ("Strings", "关于 Vessaro(&A)..."): "&About Vessaro...",
    ("Strings", "无法打开网络套接字。"): "Cannot open a network socket.",
    ("vessaro::CAboutDialog", "关于 Vessaro"): "About Vessaro",
    ("vessaro::CAboutDialog", "Vessaro 图标"): "Vessaro icon",
    ("vessaro::CAboutDialog", "Vessaro %1 版"): "Vessaro %1",
    ("vessaro::CAboutDialog", "与陌生人一对一匿名聊天"): "Anonymous one-to-one chat",
    ("vessaro::CAboutDialog", "确定"): "OK",
    ("vessaro::CChatDialog", "发送失败！"): "Sending failed!",
    ("vessaro::CChatDialog", "打开"): "Open",
    ("vessaro::CChatDialog", "发送完毕！"): "Sent!",
    ("vessaro::CChatDialog", "另存为"): "Save As",
    ("vessaro::CChatDialog", "保存失败，对话内容没有保存！\n%1"):
        "Saving failed; the conversation was not saved!\n%1",
    ("vessaro::CChatDialog", "对话"): "Chat",
    ("vessaro::CChatDialog", "接受"): "&Accept",
    ("vessaro::CChatDialog", "挂断"): "&Hang up",
    ("vessaro::CChatDialog", "按回车发送，CTRL+回车换行\nCTRL+鼠标滚轮调整字体大小"):
        "Enter sends, Ctrl+Enter new line\nCtrl+wheel: text size",
    ("vessaro::CChatDialog", "发送"): "Send",
    ("vessaro::CChatDialog", "关闭"): "&Close",
    ("vessaro::CChatDialog", "输入框"): "Your message",
    ("vessaro::CChatDialog", "网站标志"): "Site logo",
    ("vessaro::CChatDialog", "点击查看"): "View",
    ("vessaro::CChatDialog", "发送图片"): "Picture",
    ("vessaro::CChatDialog", "对话内容"): "Conversation",
    ("vessaro::CChatDialog", "对方资料"): "Partner",
    ("vessaro::CChatDialog", "我的资料"): "Me",
    ("vessaro::CChatDialog", "文件(&F)"): "&File",
    ("vessaro::CChatDialog", "保存"): "&Save",
    ("vessaro::CConditionDialog", "请输入 %1 到 %2 之间的整数。"):
        "Please enter a whole number from %1 to %2.",
    ("vessaro::CConditionDialog", "这一项最多可填 %1 个字节（一个汉字算两个字节），请删短一些。"):
        "This field holds at most %1 bytes (a Chinese character counts as two). Please shorten it.",
    ("vessaro::CConditionDialog", "条件设置"): "Conditions",
    ("vessaro::CConditionDialog", "确定"): "OK",
    ("vessaro::CConditionDialog", "取消"): "Cancel",
    ("vessaro::CConditionDialog", "男"): "M",
    ("vessaro::CConditionDialog", "女"): "F",
    ("vessaro::CConditionDialog", "不限"): "Any",
    ("vessaro::CConditionDialog", "都可以"): "Any",
    ("vessaro::CConditionDialog", "自己"): "Me",
    ("vessaro::CConditionDialog", "对方"): "Partner",
    ("vessaro::CConditionDialog", "话题选择"): "&Topic",
    ("vessaro::CConditionDialog", "昵称"): "&Name",
    ("vessaro::CConditionDialog", "性别"): "Sex",
    ("vessaro::CConditionDialog", "社区ID"): "BBS &ID",
    ("vessaro::CConditionDialog", "年龄"): "Age",
    ("vessaro::CConditionDialog", "位置"): "Place",
    ("vessaro::CConditionDialog", "市"): "city",
    ("vessaro::CConditionDialog", "区"): "dist.",
    ("vessaro::CConditionDialog", "行业"): "&Work",
    ("vessaro::CConditionDialog", "简介"): "A&bout",
    ("vessaro::CConditionDialog", "到"): "to",
    ("vessaro::CConditionDialog", "[不填表示不限]"): "[empty: any]",
    ("vessaro::CHtmlCtrl", "页面无法打开"): "Page not available",
    ("vessaro::CHtmlCtrl", "页面暂时无法打开"): "The page cannot be opened right now",
    ("vessaro::CHtmlCtrl", "请稍后再试。聊天功能不受影响。"):
        "Please try again later. Chatting is not affected.",
    ("vessaro::CMatchDialog", "显示主窗口"): "Show main window",
    ("vessaro::CMatchDialog", "退出"): "Quit",
    ("vessaro::CMatchDialog", "正在连接服务器..."): "Connecting to the server...",
    ("vessaro::CMatchDialog", "连接服务器成功！"): "Connected to the server!",
    ("vessaro::CMatchDialog", "连接服务器失败。"): "Could not connect to the server.",
    ("vessaro::CMatchDialog", "从服务器断开。"): "Disconnected from the server.",
    ("vessaro::CMatchDialog", "请求失败！"): "Request failed!",
    ("vessaro::CMatchDialog", "等待"): "Waiting",
    ("vessaro::CMatchDialog", "空闲"): "Idle",
    ("vessaro::CMatchDialog", CR + "\n%1 秒后重新连接服务器…"): CR + "\nReconnecting in %1 s…",
    ("vessaro::CMatchDialog", "：正在重新连接服务器…"): ": reconnecting to the server…",
    ("vessaro::CMatchDialog", "正在重新连接服务器…"): "Reconnecting to the server…",
    ("vessaro::CMatchDialog", "对话"): "Chatting",
    ("vessaro::CMatchDialog", "正在退出，请稍候..."): "Quitting, please wait...",
    ("vessaro::CMatchDialog", "Vessaro客户端"): "Vessaro",
    ("vessaro::CMatchDialog", "信息页面"): "News page",
    ("vessaro::CMatchDialog", "信息"): "Info",
    ("vessaro::CMatchDialog", "状态"): "Status",
    ("vessaro::CMatchDialog", "开始"): "&Start",
    ("vessaro::CMatchDialog", "取消"): "Cancel",
    ("vessaro::ConversationModel", "请选择‘接受’开始对话，拒绝对话请按“挂断”"):
        "Press “Accept” to start talking, or “Hang up” to refuse.",
    ("vessaro::ConversationModel", "连接已建立，可以开始对话！"): "Connected. You can start talking!",
    ("vessaro::ConversationModel",
     "对话已结束！点击关闭按钮退出。" + CR + "\n注意：关闭窗口后，对话内容将会自动删除！！！"):
        "The conversation has ended! Press Close to leave." + CR +
        "\nNote: the conversation is deleted when the window closes!",
    ("vessaro::ConversationModel", "服务器连接中断，对话结束。"):
        "The connection to the server was lost; the conversation is over.",
    ("vessaro::RequirementSummary", "不限"): "any",
    ("vessaro::RequirementSummary", "男"): "male",
    ("vessaro::RequirementSummary", "女"): "female",
    ("vessaro::RequirementSummary", "位置：不限"): "Place: any",
    ("vessaro::RequirementSummary", "位置：%1市 %2区"): "Place: %1 city, %2 district",
    ("vessaro::RequirementSummary", "位置：%1市"): "Place: %1 city",
    ("vessaro::RequirementSummary", "聊天要求："): "Looking for:",
    ("vessaro::RequirementSummary", "话题：%1"): "Topic: %1",
    ("vessaro::RequirementSummary", "性别：%1"): "Sex: %1",
    ("vessaro::RequirementSummary", "年龄：%1 - %2岁"): "Age: %1 - %2",
    ("vessaro::Transcript", "系统消息"): "System",
}


def escape(text):
    pieces = text.split(CR)
    return CR.join(p.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;") for p in pieces)


def unescape(text):
    return (text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", '"')
            .replace("&apos;", "'").replace("&amp;", "&"))


def main(path):
    xml = open(path, encoding="utf-8").read()
    missing = []

    def fill_context(match):
        context = unescape(match.group(1))

        def fill_message(message):
            body = message.group(0)
            source = unescape(re.search(r"<source>(.*?)</source>", body, re.S).group(1))
            english = EN.get((context, source))
            if english is None:
                if 'type="unfinished"' in body:
                    missing.append((context, source))
                return body
            translated = "<translation>" + escape(english) + "</translation>"
            return re.sub(r"<translation[^>]*>.*?</translation>|<translation[^>]*/>", translated,
                          body, flags=re.S)

        return re.sub(r"<message>.*?</message>", fill_message, match.group(0), flags=re.S)

    xml = re.sub(r"<context>\s*<name>(.*?)</name>.*?</context>", fill_context, xml, flags=re.S)
    open(path, "w", encoding="utf-8").write(xml)
    for context, source in missing:
        print(f"unfinished: {context}: {source!r}", file=sys.stderr)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "translations/vessaro_en.ts")
