// What a partner types, and the nickname a partner picks, reach the transcript and the saved page
// as text only: no tag, attribute or script of theirs becomes markup.
#include "CliEvents.h"
#include "Codec.h"
#include "ServerChild.h"
#include "TranscriptPage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

using namespace vessaro::test;
using namespace std::chrono_literals;

namespace {

std::string ReadWhenSaved(const std::filesystem::path& path) {
    for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(20ms)) {
        if (std::filesystem::exists(path)) {
            std::ifstream file(path, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(file), {});
        }
    }
    return "";
}

TEST(MarkupInjection, APartnersMarkupReachesTheSavedPageAsText) {
    const std::vector<std::string> lines = {
        "<script>alert('x')</script>",
        "<img src=x onerror=alert(document.cookie)>",
        "look http://example.org/\"onmouseover=\"alert(1)'x now",
        "javascript:alert(1)",
        "</font></p><iframe src=//evil.example>",
    };
    ServerChild server;
    ASSERT_NE(server.port(), 0);
    auto reader = server.StartClient({"--nickname", "reader", "--sex", "male", "--auto-accept"});
    auto writer =
        server.StartClient({"--nickname", "<i>w</i>", "--sex", "female", "--auto-accept"});
    for (ChildProcess* client : {reader.get(), writer.get()}) {
        ExpectEvent(*client, "connected");
        client->WriteLine("/match");
    }
    EXPECT_EQ(ExpectEvent(*reader, "partner_found")["partner"]["nickname"], "<i>w</i>");
    for (ChildProcess* client : {reader.get(), writer.get()})
        ExpectEvent(*client, "talk_started");

    for (const std::string& line : lines) {
        writer->WriteLine(line);
        EXPECT_EQ(ExpectEvent(*reader, "talk_text")["text"], line) << "the text itself is kept";
    }

    auto path = std::filesystem::temp_directory_path() /
                ("vessaro-markup-" + std::to_string(reader->pid()) + ".html");
    std::filesystem::remove(path);
    reader->WriteLine("/save " + path.string());
    std::string page = ReadWhenSaved(path);
    std::filesystem::remove(path);
    ASSERT_FALSE(page.empty()) << "nothing saved";

    for (const std::string& line : lines)
        EXPECT_NE(page.find(vessaro::FormatText(vessaro::EncodeGbkOrEmpty(line))),
                  std::string::npos)
            << "not shown as text: " << line;
    for (const char* markup : {"<script>alert", "<img", "<iframe", "\"onmouseover",
                               "href=javascript", "<i>w", "</font></p><iframe"})
        EXPECT_EQ(page.find(markup), std::string::npos) << "markup in the page: " << markup;
    EXPECT_NE(page.find("&lt;i&gt;w&lt;/i&gt;"), std::string::npos) << "the nickname as text";
}

} // namespace
