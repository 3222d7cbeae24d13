#include "ConditionDialogTemplate.h"

#include <QtGlobal>

namespace vessaro::res {
namespace {

ControlTemplate Label(const char* text, DialogRect rect) {
    return {kNoId, ControlKind::Static, text, rect};
}

} // namespace

const DialogTemplate& ConditionDialogTemplate() {
    using namespace condition_ids;
    static const DialogTemplate dialog{
        .id = kConditionDialogId,
        .context = "vessaro::CConditionDialog",
        .caption = QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "条件设置"),
        .fontFace = "新宋体",
        .pointSize = 10,
        .width = 327,
        .height = 214,
        .minimizeBox = false,
        .controls =
            {
                // The input controls, in tab order.
                {kOk,
                 ControlKind::DefaultPushButton,
                 QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "确定"),
                 {100, 193, 50, 14}},
                {kCancel,
                 ControlKind::PushButton,
                 QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "取消"),
                 {177, 193, 50, 14}},
                {kNickname, ControlKind::Edit, "", {40, 40, 50, 12}},
                {kAge, ControlKind::Edit, "", {120, 65, 25, 12}},
                {kOwnMale,
                 ControlKind::RadioButton,
                 QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "男"),
                 {131, 45, 17, 9},
                 kGroupStart | kNoTabStop},
                {kOwnFemale,
                 ControlKind::RadioButton,
                 QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "女"),
                 {151, 45, 18, 9},
                 kNoTabStop},
                {kCity, ControlKind::Edit, "", {40, 90, 45, 12}},
                {kDistrict, ControlKind::Edit, "", {105, 90, 24, 12}},
                {kOccupation, ControlKind::Edit, "", {40, 115, 80, 12}},
                {kIntro, ControlKind::Edit, "", {40, 140, 135, 40}},
                {kPartnerMale,
                 ControlKind::RadioButton,
                 QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "男"),
                 {221, 65, 20, 10},
                 kGroupStart | kNoTabStop},
                {kPartnerFemale,
                 ControlKind::RadioButton,
                 QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "女"),
                 {245, 65, 20, 10},
                 kNoTabStop},
                {kMinAge, ControlKind::Edit, "", {215, 95, 27, 12}},
                {kMaxAge, ControlKind::Edit, "", {265, 95, 26, 12}},
                {kPartnerCity, ControlKind::Edit, "", {215, 145, 28, 12}},
                {kPartnerDistrict, ControlKind::Edit, "", {265, 145, 28, 12}},
                {kTopic, ControlKind::ComboBox, "", {50, 5, 100, 174}},
                {kNoRestriction,
                 ControlKind::CheckBox,
                 QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "不限"),
                 {195, 40, 30, 10}},
                {kLocationAny,
                 ControlKind::CheckBox,
                 QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "都可以"),
                 {215, 125, 35, 10}},
                {kSexAny,
                 ControlKind::CheckBox,
                 QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "都可以"),
                 {275, 60, 35, 15}},
                {kCommunityId, ControlKind::Edit, "", {40, 65, 50, 12}},

                // Frames and labels.
                {kNoId,
                 ControlKind::GroupBox,
                 QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "自己"),
                 {7, 26, 175, 160}},
                {kNoId,
                 ControlKind::GroupBox,
                 QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "对方"),
                 {190, 25, 131, 160}},
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "话题选择"), {12, 7, 36, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "昵称"), {14, 42, 24, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "性别"), {103, 45, 24, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "社区ID"), {12, 67, 28, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "年龄"), {97, 67, 22, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "位置"), {14, 92, 24, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "市"), {88, 92, 12, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "区"), {131, 92, 12, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "行业"), {14, 117, 24, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "简介"), {14, 142, 24, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "性别"), {195, 66, 24, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "年龄"), {195, 97, 20, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "到"), {250, 97, 12, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "位置"), {195, 126, 20, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "市"), {246, 147, 12, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "区"), {296, 147, 12, 9}),
                Label(QT_TRANSLATE_NOOP("vessaro::CConditionDialog", "[不填表示不限]"),
                      {215, 163, 100, 9}),
            },
    };
    return dialog;
}

const std::vector<std::string>& TopicList() {
    static const std::vector<std::string> topics{
        "谈天说地", "股市沙龙", "英语会话", "体育赛事", "游山玩水",
        "投资创业", "有缘千里", "心情故事", "",         "",
    };
    return topics;
}

} // namespace vessaro::res
