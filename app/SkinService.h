#pragma once

#include <QString>
#include <QStringList>

namespace vessaro {

// The window skin: a Qt style sheet that the application applies to all of its windows. Load
// applies the skin file once at start-up; Remove takes it off again when the matching window has
// closed. A missing or unreadable file changes nothing and is not reported.
class SkinService {
public:
    static SkinService& Instance();

    // Applies the skin file; a relative name is looked for beside the program, then in the
    // installed data folder, then in the current folder. True when a skin was applied.
    bool Load(const QString& fileName);

    // Restores the application's style sheet from before Load.
    void Remove();

    bool loaded() const { return loaded_; }
    QString loadedPath() const { return loadedPath_; }

    // Where a relative skin name is looked for, in order, for a program in programDir: beside
    // it (the build tree), in the data folder of an installed tree (bin/../share/vessaro), then
    // in the current folder.
    static QStringList SearchFolders(const QString& programDir);
    // The file a skin name stands for, or empty when there is none.
    static QString Locate(const QString& fileName, const QString& programDir);

private:
    SkinService() = default;

    bool loaded_ = false;
    QString loadedPath_;
    QString previousSheet_;
};

} // namespace vessaro
