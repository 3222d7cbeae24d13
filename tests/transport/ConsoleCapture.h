#pragma once

#include "Console.h"

#include <cstdio>
#include <string>

// Sends the console lines to a temporary file while it lives, so a test can read them back.
class ConsoleCapture {
public:
    ConsoleCapture() : file_(std::tmpfile()) { vessaro::SetConsoleStream(file_); }
    ~ConsoleCapture() {
        vessaro::SetConsoleStream(nullptr);
        std::fclose(file_);
    }

    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    std::string Text() const {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        for (int c; (c = std::fgetc(file_)) != EOF;)
            text.push_back(static_cast<char>(c));
        return text;
    }

private:
    std::FILE* file_;
};
