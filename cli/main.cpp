#include "CliOptions.h"
#include "CliSession.h"

#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    auto parsed = vessaro::cli::ParseCliOptions(argc, argv);
    if (auto* exit = std::get_if<vessaro::cli::CliExit>(&parsed)) {
        std::fputs(exit->message.c_str(), exit->code == 0 ? stdout : stderr);
        std::fputc('\n', exit->code == 0 ? stdout : stderr);
        return exit->code;
    }
    vessaro::cli::CliSession session(std::get<vessaro::cli::CliOptions>(std::move(parsed)));
    return session.Run();
}
