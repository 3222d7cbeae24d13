#pragma once

#include <QWebEngineView>

#include <string>

namespace vessaro {

// An HTML view used as a dialog child control: created in the place of a placeholder control,
// with its ID, position and size. It shows a web page by address, or HTML held in memory (GBK
// bytes, any size) which it serves through a URL scheme of our own. When a page cannot be loaded
// it shows a built-in page instead of an error. Right clicks do nothing; clicking it does not take
// the focus away from the dialog's controls.
class CHtmlCtrl : public QWebEngineView {
    Q_OBJECT
public:
    explicit CHtmlCtrl(QWidget* parent = nullptr);
    ~CHtmlCtrl() override;

    // Replaces the child control with this ID on parent by this view (same ID, rectangle, place in
    // the tab order); false when there is no such control.
    bool CreateFromStatic(int placeholderId, QWidget* parent);

    void Navigate(const QString& address);

    // Prepares the view for LoadHtml; only the first call does anything.
    void InitDocument();

    // Replaces the whole document with the page (GBK bytes).
    void LoadHtml(std::string gbkPage);

    // (The rest of the class is its implementation's.)
};

} // namespace vessaro
