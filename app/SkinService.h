#pragma once

#include <QPalette>
#include <QString>
#include <QStringList>

namespace vessaro {

// The window skin: a Qt style sheet that the application applies to all of its windows. Load
// applies the skin file once at start-up; Remove takes it off again when the matching window has
// closed. A missing or unreadable file changes nothing and is not reported.
//
// The skin comes in two variants: the file itself (light) and a dark one beside it ("media.u3" and
// "media-dark.u3"). Load picks the variant from the skin setting ("light", "dark", or "auto": dark
// when the desktop's palette is dark); a dark variant that is missing falls back to the light one.
class SkinService {
public:
    enum class Variant { Light, Dark };

    static SkinService& Instance();

    // Applies the skin file in the variant the settings and the desktop call for; a relative name
    // is looked for beside the program, then in the installed data folder, then in the current
    // folder. True when a skin was applied.
    bool Load(const QString& fileName);
    // As above, in the given variant.
    bool Load(const QString& fileName, Variant variant);

    // The variant for a skin setting on a desktop with this palette; an unknown setting counts as
    // "auto".
    static Variant ChooseVariant(const QString& setting, const QPalette& palette);
    // The file name of the variant of a skin file ("media.u3" -> "media-dark.u3").
    static QString VariantFile(const QString& fileName, Variant variant);
    Variant variant() const { return variant_; }

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
    Variant variant_ = Variant::Light;
    QString loadedPath_;
    QString previousSheet_;
};

} // namespace vessaro
