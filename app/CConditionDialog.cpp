#include "CConditionDialog.h"

#include "AppIcon.h"
#include "AppSettings.h"
#include "ConditionDialogTemplate.h"
#include "DialogBuilder.h"
#include "GbkLimitValidator.h"
#include "MessageBox.h"
#include "ProfileStore.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cctype>

namespace vessaro {
namespace {

using namespace res::condition_ids;

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// An age as typed: digits only (blanks around them allowed), within the entry range.
bool ParseAge(const QString& typed, uint32_t& age) {
    const QString text = typed.trimmed();
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    const uint32_t value = text.toUInt();
    if (value < limits::kMinAge || value > limits::kMaxAge)
        return false;
    age = value;
    return true;
}

// One pass of the data exchange over the dialog's controls. Each step returns false when it
// refuses the field; the caller stops there.
class Exchange {
public:
    Exchange(QDialog* dialog, bool save) : dialog_(dialog), save_(save) {}

    bool Text(int id, std::string& member, std::size_t maxBytes) {
        auto* edit = res::ControlAs<QLineEdit>(dialog_, id);
        if (!save_) {
            if (!qobject_cast<const GbkLimitValidator*>(edit->validator()))
                edit->setValidator(new GbkLimitValidator(maxBytes, edit));
            edit->setText(Utf8(member));
            return true;
        }
        if (GbkBytes(edit->text()) > maxBytes)
            return Refuse(edit, TextLimitMessage(maxBytes));
        member = edit->text().toStdString();
        return true;
    }

    // The topic box takes any length while typing; the limit is checked here.
    bool Combo(int id, std::string& member, std::size_t maxBytes) {
        auto* combo = res::ControlAs<QComboBox>(dialog_, id);
        if (!save_) {
            combo->setEditText(Utf8(member));
            return true;
        }
        if (GbkBytes(combo->currentText()) > maxBytes)
            return Refuse(combo, TextLimitMessage(maxBytes));
        member = combo->currentText().toStdString();
        return true;
    }

    bool Age(int id, uint32_t& member) {
        auto* edit = res::ControlAs<QLineEdit>(dialog_, id);
        if (!save_) {
            edit->setText(QString::number(member));
            return true;
        }
        if (!ParseAge(edit->text(), member)) {
            //: English: Please enter a whole number from %1 to %2.
            return Refuse(edit, QCoreApplication::translate("vessaro::CConditionDialog",
                                                            "请输入 %1 到 %2 之间的整数。")
                                    .arg(limits::kMinAge)
                                    .arg(limits::kMaxAge));
        }
        return true;
    }

    // A radio group by its first button: the index of the checked button, -1 for none.
    bool Radio(int firstId, int& member) {
        auto* first = res::ControlAs<QRadioButton>(dialog_, firstId);
        QButtonGroup* group = first->group();
        const QList<QAbstractButton*> buttons = group->buttons();
        if (!save_) {
            group->setExclusive(false); // so that "none" can be shown too
            for (qsizetype i = 0; i < buttons.size(); ++i)
                buttons[i]->setChecked(i == member);
            group->setExclusive(true);
            return true;
        }
        member = static_cast<int>(buttons.indexOf(group->checkedButton()));
        return true;
    }

    bool Check(int id, bool& member) {
        auto* box = res::ControlAs<QCheckBox>(dialog_, id);
        if (!save_)
            box->setChecked(member);
        else
            member = box->isChecked();
        return true;
    }

private:
    static QString TextLimitMessage(std::size_t maxBytes) {
        //: English: This field holds at most %1 bytes (a Chinese character counts as two); please
        //: shorten it.
        return QCoreApplication::translate(
                   "vessaro::CConditionDialog",
                   "这一项最多可填 %1 个字节（一个汉字算两个字节），请删短一些。")
            .arg(maxBytes);
    }

    bool Refuse(QWidget* control, const QString& message) {
        ShowMessage(dialog_, message);
        control->setFocus(Qt::OtherFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            edit->selectAll();
        else if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->lineEdit())
            combo->lineEdit()->selectAll();
        return false;
    }

    QDialog* dialog_;
    bool save_;
};

} // namespace

static_assert(CConditionDialog::kIntroEntryBytes == kStoredIntroBytes);

// Opens with what the user last accepted (kept in the settings), or the designed defaults.
CConditionDialog::CConditionDialog(QWidget* parent)
    : QDialog(parent), values(LoadProfile(Settings().store())) {
    res::BuildDialog(res::ConditionDialogTemplate(), this);
    auto* topic = res::ControlAs<QComboBox>(this, kTopic);
    for (const std::string& entry : res::TopicList())
        topic->addItem(Utf8(entry));
    topic->setMaxVisibleItems(topic->count());
    connect(res::ControlAs<QPushButton>(this, kOk), &QPushButton::clicked, this,
            &CConditionDialog::OnOK);
    connect(res::ControlAs<QPushButton>(this, kCancel), &QPushButton::clicked, this,
            &QDialog::reject);
    for (int box : {kNoRestriction, kLocationAny, kSexAny}) {
        connect(res::ControlAs<QCheckBox>(this, box), &QCheckBox::clicked, this,
                &CConditionDialog::OnBoxClicked);
    }
}

int CConditionDialog::DoModal() {
    OnInitDialog();
    return exec();
}

void CConditionDialog::OnInitDialog() {
    UpdateData(false);
    setWindowIcon(res::AppIcon());
    UpdateControlStates();
}

bool CConditionDialog::UpdateData(bool saveAndValidate) {
    Exchange dx(this, saveAndValidate);
    ConditionValues& v = values;
    return dx.Text(kNickname, v.nickname, limits::kNickname) &&
           dx.Combo(kTopic, v.topic, limits::kTopic) && dx.Radio(kOwnMale, v.ownSexIndex) &&
           dx.Age(kAge, v.age) && dx.Text(kDistrict, v.district, limits::kDistrict) &&
           dx.Text(kCity, v.city, limits::kCity) && dx.Text(kIntro, v.intro, kIntroEntryBytes) &&
           dx.Text(kOccupation, v.occupation, limits::kOccupation) &&
           dx.Text(kPartnerCity, v.partnerCity, limits::kCity) &&
           dx.Text(kPartnerDistrict, v.partnerDistrict, limits::kDistrict) &&
           dx.Radio(kPartnerMale, v.partnerSexIndex) && dx.Age(kMinAge, v.minAge) &&
           dx.Age(kMaxAge, v.maxAge) && dx.Check(kSexAny, v.sexAny) &&
           dx.Check(kLocationAny, v.locationAny) && dx.Check(kNoRestriction, v.noRestriction) &&
           dx.Text(kCommunityId, v.communityId, limits::kCommunityId);
}

void CConditionDialog::UpdateControlStates() {
    auto enable = [this](std::initializer_list<int> ids, bool enabled) {
        for (int id : ids)
            res::Control(this, id)->setEnabled(enabled);
    };
    if (values.noRestriction) {
        enable({kPartnerMale, kPartnerFemale, kSexAny, kMinAge, kMaxAge, kLocationAny, kPartnerCity,
                kPartnerDistrict},
               false);
        return;
    }
    enable({kSexAny, kLocationAny, kMinAge, kMaxAge}, true);
    enable({kPartnerMale, kPartnerFemale}, !values.sexAny);
    enable({kPartnerCity, kPartnerDistrict}, !values.locationAny);
}

void CConditionDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    UpdateControlStates();
}

void CConditionDialog::OnOK() {
    if (UpdateData(true))
        accept();
}

// A box reads every field back, so the members follow what the user sees before the enabling
// rules run. A refused field stops the read before the box's own member changes.
void CConditionDialog::OnBoxClicked() {
    UpdateData(true);
    UpdateControlStates();
}

} // namespace vessaro
