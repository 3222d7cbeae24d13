#include "Console.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

// What can be read from the descriptor, after waiting up to waitMs for something to come (a
// terminal hands written bytes to its other side a moment later).
std::string Available(int fd, int waitMs = 0) {
    pollfd readable{fd, POLLIN, 0};
    poll(&readable, 1, waitMs);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

struct Output {
    int readEnd = -1;
    std::FILE* writeEnd = nullptr;
};

// A pipe, as when the output is redirected to a file or another program.
Output Pipe() {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK) != 0)
        return {};
    return {fds[0], fdopen(fds[1], "w")};
}

// A terminal: the master side reads what is written to the slave side.
Output Terminal() {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return {};
    int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    if (slave < 0)
        return {};
    fcntl(master, F_SETFL, O_NONBLOCK);
    return {master, fdopen(slave, "w")};
}

} // namespace

// On a terminal each line shows at once; anywhere else lines are gathered and written together,
// but never lost: a flush or a change of stream writes them out.
TEST(Console, LinesShowAtOnceOnATerminalAndAreGatheredElsewhere) {
    const struct {
        const char* name;
        Output (*open)();
        bool atOnce;
    } cases[] = {{"pipe", Pipe, false}, {"terminal", Terminal, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Output out = c.open();
        if (!out.writeEnd)
            GTEST_SKIP() << "cannot open a " << c.name;
        vessaro::SetConsoleStream(out.writeEnd);
        vessaro::ConsoleLine("first %d\n", 1);
        // The first line to a new stream is written out; the next one waits in a pipe.
        EXPECT_NE(Available(out.readEnd, 2000).find("first 1"), std::string::npos);
        vessaro::ConsoleLine("second %d\n", 2);
        const std::string soon = Available(out.readEnd, c.atOnce ? 2000 : 0);
        EXPECT_EQ(soon.find("second 2") != std::string::npos, c.atOnce) << soon;
        vessaro::ConsoleLine("third\n");
        vessaro::SetConsoleStream(nullptr);
        const std::string all = soon + Available(out.readEnd, 2000);
        EXPECT_NE(all.find("second 2"), std::string::npos);
        EXPECT_NE(all.find("third"), std::string::npos);
        std::fclose(out.writeEnd);
        close(out.readEnd);
    }
}
