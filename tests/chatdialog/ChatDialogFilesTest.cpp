#include "ChatWindowFixture.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QUrl>

#include <csignal>
#include <optional>
#include <sys/resource.h>

namespace vessaro::test {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Types this path into the file dialog's name box and confirms, as a user does.
ModalDriver::FileDialogHandler Choose(const QString& path) {
    return [path](QFileDialog* dialog) {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(path);
        static_cast<QDialog*>(dialog)->accept(); // as the dialog's own button does
    };
}

class ChatFilesTest : public ChatWindowTest {
protected:
    void SetUp() override {
        ChatWindowTest::SetUp();
        ASSERT_TRUE(folder.isValid());
        StartTalking();
        Post(EVT_TALK_TEXT, MakeTalkTextBlock(MakeTalkText(Gbk("看这个 http://a.cn/x <b>粗</b>"))));
    }

    void Save() {
        QAction* save = dialog->findChild<QAction*>(QString::number(res::ID_CHAT_SAVE));
        ASSERT_NE(save, nullptr);
        save->trigger();
    }
    QByteArray Page() const { return QByteArray::fromStdString(dialog->BuildPage()); }
    QStringList FolderEntries() const {
        return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir folder;
    ModalDriver answerer;
};

TEST_F(ChatFilesTest, SaveProposesChatHtmlAndWritesExactlyThePage) {
    QString proposed, suffix;
    QStringList filters;
    bool confirmsOverwrite = false;
    answerer.OnNextFileDialog([&](QFileDialog* dialog) {
        proposed = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        suffix = dialog->defaultSuffix();
        filters = dialog->nameFilters();
        confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite) &&
                            dialog->acceptMode() == QFileDialog::AcceptSave;
        Choose(folder.filePath(QStringLiteral("talk")))(dialog);
    });
    Save();

    EXPECT_EQ(proposed, QStringLiteral("chat.html"));
    EXPECT_EQ(suffix, QStringLiteral("html"));
    EXPECT_EQ(filters, (QStringList{QStringLiteral("HTML Files (*.html)"),
                                    QStringLiteral("All Files (*)")}));
    EXPECT_TRUE(confirmsOverwrite);
    EXPECT_TRUE(answerer.messages().isEmpty());
    EXPECT_EQ(FolderEntries(), QStringList{QStringLiteral("talk.html")});
    const QByteArray saved = ReadAll(folder.filePath(QStringLiteral("talk.html")));
    EXPECT_EQ(saved, Page());
    EXPECT_TRUE(saved.contains("&lt;b&gt;")) << "what the partner typed is saved as text";
    EXPECT_TRUE(saved.contains(QByteArray::fromStdString(Gbk("系统消息"))));
}

TEST_F(ChatFilesTest, SavingOverAFileAsksFirstThenReplacesItWhole) {
    const QString target = folder.filePath(QStringLiteral("chat.html"));
    WriteAll(target, QByteArray(100000, 'o'));
    answerer.OnNextFileDialog(Choose(target));
    Save();

    ASSERT_EQ(answerer.messages().size(), 1);
    EXPECT_TRUE(answerer.messages().front().contains(QStringLiteral("chat.html")));
    EXPECT_EQ(ReadAll(target), Page());
    EXPECT_EQ(FolderEntries(), QStringList{QStringLiteral("chat.html")});
}

TEST_F(ChatFilesTest, CancellingTheSaveWritesNothing) {
    Save();
    EXPECT_EQ(answerer.fileDialogsSeen(), 1);
    EXPECT_TRUE(FolderEntries().isEmpty());
    EXPECT_TRUE(answerer.messages().isEmpty());
}

// Root may write anywhere, so the failure comes from a file size limit: the write starts and
// fails half way, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN); // an oversized write fails with EFBIG instead
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limited = old_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }

private:
    rlimit old_{};
};

TEST_F(ChatFilesTest, FailedSaveSaysSoAndLeavesTheOldFileWhole) {
    const QString target = folder.filePath(QStringLiteral("chat.html"));
    WriteAll(target, "old conversation");
    std::optional<FileSizeLimit> limit;
    answerer.OnNextFileDialog([&](QFileDialog* dialog) {
        limit.emplace(100);
        Choose(target)(dialog);
    });
    Save();
    limit.reset();

    ASSERT_EQ(answerer.messages().size(), 2); // replace it? then: not saved
    EXPECT_TRUE(answerer.messages()[1].contains(QStringLiteral("没有保存")));
    EXPECT_EQ(ReadAll(target), "old conversation");
    EXPECT_EQ(FolderEntries(), QStringList{QStringLiteral("chat.html")}) << "no partial file";
    EXPECT_TRUE(dialog->isVisible());

    // The conversation carries on and can still be saved.
    answerer.OnNextFileDialog(Choose(target));
    Save();
    EXPECT_EQ(ReadAll(target), Page());
}

TEST_F(ChatFilesTest, PictureIsSentWithItsNameAndBytes) {
    const QString picture = folder.filePath(QStringLiteral("照片.png"));
    QByteArray bytes;
    for (int i = 0; i < 1024; ++i)
        bytes.append(char(i * 7));
    WriteAll(picture, bytes);

    struct {
        int result;
        const char* message;
    } cases[] = {{0, "发送完毕！"}, {-1, "发送失败！"}};
    for (const auto& c : cases) {
        engine.calls.clear();
        answerer.clearMessages();
        engine.fileResult = c.result;
        answerer.OnNextFileDialog(Choose(picture));
        Button(res::IDC_CHAT_SEND_PICTURE)->click();
        EXPECT_EQ(engine.calls, std::vector<std::string>{"file:" + Gbk("照片.png") + ":1024"});
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(engine.fileData.data()),
                             qsizetype(engine.fileData.size())),
                  bytes);
        EXPECT_EQ(answerer.messages(), QStringList{QString::fromUtf8(c.message)});
    }
}

TEST_F(ChatFilesTest, PictureTooLargeToTakeWholeIsReportedNotSent) {
    const QString picture = folder.filePath(QStringLiteral("huge.bmp"));
    QFile file(picture);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64(17) * 1024 * 1024)); // sparse: costs no disk
    file.close();

    answerer.OnNextFileDialog(Choose(picture));
    Button(res::IDC_CHAT_SEND_PICTURE)->click();
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(answerer.messages(), QStringList{QStringLiteral("发送失败！")});

    Button(res::IDC_CHAT_SEND_PICTURE)->click(); // cancelled
    EXPECT_EQ(answerer.fileDialogsSeen(), 2);
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(answerer.messages().size(), 1);
}

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

TEST_F(ChatWindowTest, ProfileLinkOpensThePartnersPageWithTheIdAsOneValue) {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
    struct {
        QString id;
        QByteArray query;
    } cases[] = {
        {QStringLiteral("10086"), "user_id=10086"},
        {QStringLiteral("a&b=1#top"), "user_id=a%26b%3D1%23top"},
        {QStringLiteral("张三"), "user_id=%D5%C5%C8%FD"}, // the site takes GBK, like the wire
        {QString(), "user_id="},
    };
    for (const auto& c : cases) {
        recorder.opened.clear();
        dialog->peerCommunityId = c.id;
        Button(res::IDC_CHAT_VIEW_PROFILE)->click();
        ASSERT_EQ(recorder.opened.size(), 1);
        EXPECT_EQ(recorder.opened.front().toEncoded(),
                  "http://127.0.0.1:9/bbs/user_info.php?" + c.query);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

} // namespace
} // namespace vessaro::test

#include "ChatDialogFilesTest.moc"
