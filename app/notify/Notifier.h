#pragma once

#include <QString>

namespace vessaro {

// Shows the user a short message outside the program's windows.
class Notifier {
public:
    virtual ~Notifier() = default;
    // title and body are plain text, already short and safe to show.
    virtual void Notify(const QString& title, const QString& body) = 0;
};

} // namespace vessaro
