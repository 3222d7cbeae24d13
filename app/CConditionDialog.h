#pragma once

#include "ConditionValues.h"

#include <QDialog>

class QWidget;

namespace vessaro {

// The conditions dialog: who the user is and whom the user wants to meet. The matching window owns
// one for the life of the program and runs it for every match; its values stay in memory between
// openings, and it first opens with the profile and wishes remembered in the settings. One exchange
// moves every value to its control or back with validation; three boxes lift the partner
// restrictions and switch the partner fields.
class CConditionDialog : public QDialog {
    Q_OBJECT
public:
    explicit CConditionDialog(QWidget* parent = nullptr);

    // The members, with the remembered values (or the dialog's defaults). On OK they hold the
    // validated values of every field.
    ConditionValues values;

    // The self-introduction takes as many bytes as the profile can carry, so that what the user
    // types is exactly what the partner reads.
    static constexpr std::size_t kIntroEntryBytes = 63;

    // Initialises the dialog from the members and runs it modally: QDialog::Accepted on OK.
    int DoModal();

    // Puts the members into the controls (and arms the byte limits of the edits) when
    // saveAndValidate is false; otherwise reads the controls back in the dialog's order, stopping
    // at the first refused field (message box, focus on it; later members keep their values).
    bool UpdateData(bool saveAndValidate);

    // Enables and disables the partner fields by the three boxes, as the members say.
    void UpdateControlStates();

    // The initialisation step of each opening; DoModal runs it, tests may run it before show().
    void OnInitDialog();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnOK();
    void OnBoxClicked();
};

} // namespace vessaro
